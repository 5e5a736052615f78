#pragma once
// Time budgets of CPU-bound work. The sanitizers' instrumentation makes such
// work a few times slower; scaled, a budget still catches what it is there
// for (a quadratic blow-up, a lost index) without failing on the checks'
// own cost. Waits bounded by time-outs are not CPU-bound and are not scaled.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FW_TEST_INSTRUMENTED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FW_TEST_INSTRUMENTED 1
#endif
#endif

namespace fw::test {

#ifdef FW_TEST_INSTRUMENTED
inline constexpr double kCpuSlowdown = 4.0;
#else
inline constexpr double kCpuSlowdown = 1.0;
#endif

} // namespace fw::test
