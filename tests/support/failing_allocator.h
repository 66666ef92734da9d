// Allocation failures on request.  A test program that uses these replaces
// malloc, calloc, realloc and the aligned allocations for the whole
// process (the C library's own requests included, such as the record of a
// thread's TLS destructor or a new thread's TLS vector); every request
// passes to the allocator behind them (the C library's, or the
// sanitizer's) unless failures are switched on.
#pragma once

#include <omp.h>

#include <thread>

namespace mox2::test {

// From now on the first `successes` requests succeed and every later one
// fails (null, ENOMEM), whichever thread makes it, until
// allow_allocations().
void fail_allocations_after(long successes);
void allow_allocations();
// The requests made since fail_allocations_after(), up to now.
long allocations_asked();

// Runs f on a new thread whose OpenMP team of `threads` has already started:
// the requests of f are those of a first call from that thread (its own
// and its team's first use of workspace among them), and not those of
// starting threads, whose failure libgomp and the sanitizers do not survive.
template <class F> void on_new_thread_with_team(int threads, F f) {
  std::thread([&] {
    omp_set_num_threads(threads);
#pragma omp parallel
    {}
    f();
  }).join();
}

} // namespace mox2::test
