# Shared build settings and the helpers every folder uses.

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

add_library(fw_options INTERFACE)
target_compile_options(fw_options INTERFACE
  -Wall -Wextra -Wno-unused-parameter
  $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
target_compile_definitions(fw_options INTERFACE _FILE_OFFSET_BITS=64)

if(FW_SANITIZE_ADDRESS AND FW_SANITIZE_THREAD)
  message(FATAL_ERROR "AddressSanitizer and ThreadSanitizer cannot be combined")
endif()
if(FW_SANITIZE_ADDRESS)
  target_compile_options(fw_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(fw_options INTERFACE -fsanitize=address,undefined)
endif()
if(FW_SANITIZE_THREAD)
  target_compile_options(fw_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(fw_options INTERFACE -fsanitize=thread)
endif()

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# fw_add_library(<target> [PUBLIC <libs...>] [PRIVATE <libs...>] [PCH <headers...>])
# Builds every .cpp/.c below the calling folder into one static library whose
# include root is the project's source root (includes read "engine/…",
# "toolkit/foundation/…").
function(fw_add_library target)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;PCH" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT srcs)
    # A folder whose sources have not arrived yet still forms a library.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${srcs} "")
  endif()
  add_library(${target} STATIC ${srcs})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC fw_options Threads::Threads ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  if(ARG_PCH)
    target_precompile_headers(${target} PRIVATE ${ARG_PCH})
  endif()
endfunction()

# fw_add_gtest(<target> SOURCES <files...> LIBS <libs...> [LABELS <labels...>] [OWN_NETNS])
# One test executable; each GoogleTest case becomes its own CTest test.
# OWN_NETNS runs every case (and the listing) in a network namespace of its
# own with only loopback up, made by scripts/isolated's rule, so that cases
# may bind fixed ports and never meet when run in parallel.
function(fw_add_gtest target)
  cmake_parse_arguments(ARG "OWN_NETNS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE fw_options ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${target} PRIVATE
    FW_SOURCE_DIR="${PROJECT_SOURCE_DIR}" FW_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(ARG_OWN_NETNS)
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR
      env -u FW_ISOLATED_NETNS ${PROJECT_SOURCE_DIR}/scripts/isolated)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# fw_add_benchmark(<target> SOURCES <files...> LIBS <libs...>)
function(fw_add_benchmark target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE fw_options ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# fw_add_gtest_folder(PREFIX <name> LIBS <libs...> [LABELS ...] [TIMEOUT s] [OWN_NETNS <stems...>])
# OWN_NETNS lists the test files (stems such as test_library) whose cases
# each run in a network namespace of their own (see fw_add_gtest).
# Every test_*.cpp in the calling folder becomes its own test executable
# <prefix>_<file stem>, so that suites of one folder build independently.
function(fw_add_gtest_folder)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT" "LIBS;LABELS;OWN_NETNS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support_*.cpp)
  foreach(t IN LISTS tests)
    get_filename_component(stem ${t} NAME_WE)
    set(extra)
    if(ARG_TIMEOUT)
      set(extra TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(stem IN_LIST ARG_OWN_NETNS)
      list(APPEND extra OWN_NETNS)
    endif()
    fw_add_gtest(${ARG_PREFIX}_${stem} SOURCES ${t} ${support} LIBS ${ARG_LIBS} LABELS ${ARG_PREFIX} ${ARG_LABELS} ${extra})
  endforeach()
endfunction()

# fw_add_benchmark_folder(LIBS <libs...>): every bench_*.cpp in the calling
# folder becomes the benchmark executable of the same name.
function(fw_add_benchmark_folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB benches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench_*.cpp)
  foreach(b IN LISTS benches)
    get_filename_component(stem ${b} NAME_WE)
    fw_add_benchmark(${stem} SOURCES ${b} LIBS ${ARG_LIBS})
  endforeach()
endfunction()
