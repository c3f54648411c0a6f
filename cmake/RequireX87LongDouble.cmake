# gemprobe's verdicts are defined by x87 80-bit extended arithmetic
# (64-bit significand). Refuse to build anywhere long double is something else:
# a double-sized or a 128-bit quad long double would silently change verdicts.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles([=[
#include <cfloat>
#if !(defined(__x86_64__) || defined(__i386__))
#error "not x86"
#endif
static_assert(LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384 && LDBL_MIN_EXP == -16381,
              "long double is not x87 extended");
int main() { return 0; }
]=] EXACT_HAVE_X87_LONG_DOUBLE)
if(NOT EXACT_HAVE_X87_LONG_DOUBLE)
  message(FATAL_ERROR
    "This project needs long double to be the x87 80-bit extended format "
    "(64-bit significand, as on x86 and x86-64 Linux). The compiler "
    "${CMAKE_CXX_COMPILER} targets a platform whose long double differs; "
    "the verdicts of gemprobe would not be reproducible there.")
endif()
