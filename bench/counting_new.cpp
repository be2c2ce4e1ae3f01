// SPDX-License-Identifier: GPL-3.0-or-later
// The program's operator new, counted (bench_support.h): linked into the
// benchmarks that count heap allocations per block.
#include <cstddef>
#include <cstdlib>
#include <new>

#include "bench_support.h"

namespace bench {

std::atomic<long> g_news{0};
thread_local long t_news = 0;

}  // namespace bench

void* operator new(size_t size)
{
    ++bench::g_news;
    ++bench::t_news;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
