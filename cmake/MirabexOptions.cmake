# One INTERFACE target carries the language level and the warnings; every target links it.
add_library(mirabex_options INTERFACE)
target_compile_features(mirabex_options INTERFACE cxx_std_20)
target_compile_options(mirabex_options INTERFACE -Wall -Wextra -Wpedantic)
if(MIRABEX_WERROR)
  target_compile_options(mirabex_options INTERFACE -Werror)
endif()
target_include_directories(mirabex_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

# Registers one GoogleTest executable with CTest under a label (unit, e2e, gui).
function(mirabex_add_test name)
  cmake_parse_arguments(ARG "" "" "LABEL;SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE mirabex_options ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 600)
endfunction()

# Every *_test.cpp of the calling folder becomes one test executable linking LIBS.
function(mirabex_add_folder_tests)
  cmake_parse_arguments(ARG "" "LABEL;PREFIX" "LIBS;THREADED" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(source IN LISTS test_sources)
    get_filename_component(stem ${source} NAME_WE)
    set(labels ${ARG_LABEL})
    # THREADED names the tests that also run under ThreadSanitizer.
    if(stem IN_LIST ARG_THREADED)
      list(APPEND labels threaded)
    endif()
    mirabex_add_test(${ARG_PREFIX}${stem} LABEL "${labels}" SOURCES ${source} ${support_sources} LIBS ${ARG_LIBS})
  endforeach()
endfunction()

# One static library per layer, made of every source file of the calling folder
# except main.cpp.
function(mirabex_add_layer_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC mirabex_options ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()
