// Allocation failures on request.  A test program that uses these replaces
// malloc, calloc, realloc and the aligned allocations for the whole
// process (the C library's own requests included, such as the record of a
// thread's TLS destructor or a new thread's TLS vector); every request
// passes to the allocator behind them (the C library's, or the
// sanitizer's) unless failures are switched on.
#pragma once

namespace mox2::test {

// From now on the first `successes` requests succeed and every later one
// fails (null, ENOMEM), whichever thread makes it, until
// allow_allocations().
void fail_allocations_after(long successes);
void allow_allocations();
// The requests made since fail_allocations_after(), up to now.
long allocations_asked();

} // namespace mox2::test
