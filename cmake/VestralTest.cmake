# vestral_add_test(NAME name SOURCES ... LIBS ... [WIDGETS] [TIMEOUT s])
# One GoogleTest executable per folder; each test case is registered with CTest. The test mains set
# QT_QPA_PLATFORM=offscreen, VESTRAL_SOURCE_DIR and VESTRAL_BINARY_DIR when they are not set.
include(GoogleTest)
function(vestral_add_test)
    cmake_parse_arguments(T "WIDGETS" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vestral_warnings GTest::gtest GTest::gmock Qt6::Core Qt6::Test)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    # TempDataDir starts a test's data module on either store; PostgreSQL through the test server.
    target_link_libraries(${T_NAME} PRIVATE vestral_test_pgserver)
    if(vestral_sanitize STREQUAL "thread")
        # QProcess children started as plain forks, which ThreadSanitizer follows (see the file).
        target_sources(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/TsanCloneFork.cpp)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    # The cases run on both stores end in "/PostgreSQL" on that store (tests/common/TempDataDir.h); they
    # also carry the label pg_tests, so that `ctest -L pg_tests` runs every case on a PostgreSQL server.
    gtest_discover_tests(${T_NAME}
        DISCOVERY_TIMEOUT 60
        TEST_FILTER "-*/PostgreSQL"
        PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${T_NAME})
    gtest_discover_tests(${T_NAME}
        DISCOVERY_TIMEOUT 60
        TEST_FILTER "*/PostgreSQL"
        TEST_LIST ${T_NAME}_ON_POSTGRES
        PROPERTIES TIMEOUT ${T_TIMEOUT})
    # The discovered names are known only when CTest reads them: a second labels both (a list cannot
    # pass through the discovery's PROPERTIES).
    set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_pg_labels.cmake)
    file(WRITE ${labels_file}
         "if(${T_NAME}_ON_POSTGRES)\n"
         "  set_tests_properties(\${${T_NAME}_ON_POSTGRES} PROPERTIES LABELS \"${T_NAME};pg_tests\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()
