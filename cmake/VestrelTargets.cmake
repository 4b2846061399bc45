# How test programs see the build: on Linux, widget tests run on Qt's
# offscreen platform. A Windows build's static Qt has only its windows
# platform, and under wine the folders are named by wine's drive for "/".
if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(VESTREL_TEST_QPA windows)
    set(VESTREL_TEST_BUILD_DIR Z:${CMAKE_BINARY_DIR})
    set(VESTREL_TEST_SOURCE_DIR Z:${PROJECT_SOURCE_DIR})
else()
    set(VESTREL_TEST_QPA offscreen)
    set(VESTREL_TEST_BUILD_DIR ${CMAKE_BINARY_DIR})
    set(VESTREL_TEST_SOURCE_DIR ${PROJECT_SOURCE_DIR})
endif()

# One static library per source folder, made of the files its CMakeLists.txt
# names (SOURCES). A folder of headers only gives an interface library.
function(vestrel_folder_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    set(compiled ${ARG_SOURCES})
    list(FILTER compiled INCLUDE REGEX ".*\\.cpp$")
    if(compiled)
        add_library(${name} STATIC ${ARG_SOURCES})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_LINK})
    else()
        add_library(${name} INTERFACE ${ARG_SOURCES})
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_LINK})
    endif()
endfunction()

# Each test named in TESTS (<name>.cpp in the calling folder) is its own test
# program, so that one failing group is reported by name and the groups run
# in parallel. POSIX_ONLY names tests that a Windows build leaves out (the
# caller says why).
function(vestrel_folder_tests)
    cmake_parse_arguments(ARG "" "" "TESTS;LINK;POSIX_ONLY" ${ARGN})
    foreach(test_name ${ARG_TESTS})
        if(WIN32 AND test_name IN_LIST ARG_POSIX_ONLY)
            continue()
        endif()
        add_executable(${test_name} ${test_name}.cpp)
        target_include_directories(${test_name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
        target_link_libraries(${test_name} PRIVATE ${ARG_LINK} Qt6::Test)
        set_target_properties(${test_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
        if(WIN32 AND CMAKE_CROSSCOMPILING)
            # Qt's plain test log goes to the Windows debug channel when no
            # console is attached, as under wine; TAP is written to stdout.
            add_test(NAME ${test_name} COMMAND ${test_name} -o -,tap)
        else()
            add_test(NAME ${test_name} COMMAND ${test_name})
        endif()
        set_tests_properties(${test_name} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=${VESTREL_TEST_QPA};VESTREL_BUILD_DIR=${VESTREL_TEST_BUILD_DIR};VESTREL_SOURCE_DIR=${VESTREL_TEST_SOURCE_DIR}"
            TIMEOUT 300)
    endforeach()
endfunction()
