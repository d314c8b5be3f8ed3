# Fuzz targets: one executable fuzz_<subject> per outside input, built from tests/<folder>/fuzz_<subject>.cpp,
# with its seed corpus (when there is one) in tests/<folder>/corpus/fuzz_<subject>/. The smoke run
# (tools/fuzz-smoke.sh) runs every target listed in <build>/fuzz-targets/.
set(VESTRAL_FUZZ_ENABLED OFF)
if(VESTRAL_FUZZ)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        set(VESTRAL_FUZZ_ENABLED ON)
        add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                            -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    else()
        message(WARNING "VESTRAL_FUZZ needs clang (libFuzzer): the fuzz targets are skipped "
                        "(configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)")
    endif()
endif()

# vestral_add_fuzzer(NAME fuzz_subject SOURCES ... LIBS ...)
function(vestral_add_fuzzer)
    if(NOT VESTRAL_FUZZ_ENABLED)
        return()
    endif()
    cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} vestral_warnings Qt6::Core)
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${F_NAME})
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/fuzz-targets/${F_NAME}.txt
         CONTENT "$<TARGET_FILE:${F_NAME}> ${corpus}\n")
endfunction()
