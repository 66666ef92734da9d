// The inline namespace that holds the inline functions of headers which
// sources for one instruction set (in avx2/ or avx512/ folders) include
// too.  The build names it after the instruction set each source is
// compiled for, so copies compiled with different instructions are
// different functions: the linker can never keep an AVX-512 copy where
// portable code calls.
#pragma once

#ifndef MOX2_ISA_NAMESPACE
#define MOX2_ISA_NAMESPACE isa_portable
#endif
