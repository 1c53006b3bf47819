# Native build of the portable core: sanitized for the tests, instrumented for
# libFuzzer, and plain optimised for the benchmarks.

set(VERILOOM_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

function(veriloom_core_library name)
    add_library(${name} STATIC ${VERILOOM_CORE_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${ARGN})
    veriloom_warnings(${name})
endfunction()

veriloom_core_library(veriloom_core ${VERILOOM_SANITIZE})
target_link_options(veriloom_core INTERFACE ${VERILOOM_SANITIZE})
target_compile_options(veriloom_core INTERFACE ${VERILOOM_SANITIZE})

veriloom_core_library(veriloom_core_fast -O2)

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    veriloom_core_library(veriloom_core_fuzz ${VERILOOM_SANITIZE} -fsanitize=fuzzer-no-link)
endif()
