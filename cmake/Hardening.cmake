# Hardening and reproducibility flags for every target, so that a plain `cmake` build gets
# what Debian's build flags give a package (and the package gets the same without them).
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckPIESupported)

# Qt's targets already ask for position-independent code; this makes CMake link with -pie.
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Each flag only where the compiler takes it: clang and gcc differ, and not every
# architecture has control-flow protection.
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "HAVE${flag}" have)
    check_cxx_compiler_flag(${flag} ${have})
    if(${have})
        add_compile_options(${flag})
    endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)

# Not in Debug builds, nor in builds without a type, which have no optimiser flag.
set(OPTIMISED_CONFIG $<AND:$<BOOL:$<CONFIG>>,$<NOT:$<CONFIG:Debug>>>)

# _FORTIFY_SOURCE needs the optimiser (glibc warns without it, which -Werror turns into a
# failure) and gets in the way of AddressSanitizer's own checks of the same calls. Level 3
# needs __builtin_dynamic_object_size (gcc 12, clang 9) and glibc 2.34; glibc quietly falls
# back to level 2 otherwise, so the check asks glibc which level it took.
if(NOT SANITIZE AND NOT FUZZ)
    set(CMAKE_REQUIRED_FLAGS "-O2 -D_FORTIFY_SOURCE=3")
    check_cxx_source_compiles([[
        #include <cstring>
        #if !defined(__USE_FORTIFY_LEVEL) || __USE_FORTIFY_LEVEL < 3
        #error no level 3
        #endif
        int main() { return 0; }]] HAVE_FORTIFY_SOURCE_3)
    unset(CMAKE_REQUIRED_FLAGS)
    if(HAVE_FORTIFY_SOURCE_3)
        set(fortify_level 3)
    else()
        set(fortify_level 2)
    endif()
    # -U first: a level given in CXXFLAGS would otherwise be redefined with a warning.
    add_compile_options($<${OPTIMISED_CONFIG}:-U_FORTIFY_SOURCE> $<${OPTIMISED_CONFIG}:-D_FORTIFY_SOURCE=${fortify_level}>)
endif()

# No build folder in what is compiled (__FILE__, debug information), so that two checkouts
# in different places build the same binary. The build folder is mapped last: it may lie
# inside the source folder, and the last matching map wins.
check_cxx_compiler_flag(-ffile-prefix-map=/a=/b HAVE_FILE_PREFIX_MAP)
if(HAVE_FILE_PREFIX_MAP)
    add_compile_options(
        $<${OPTIMISED_CONFIG}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
        $<${OPTIMISED_CONFIG}:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>)
endif()
