# Regression cases of test_facepose as CTest tests.
#
#   add_facepose_case(NAME MODEL_DIR IMAGE EXPECTATION)
#       One case: runs `test_facepose -m MODEL_DIR -p IMAGE -v EXPECTATION` in
#       a working directory of its own (where its validation log lands). The
#       test passes only when the verdict record says "Test passed.": a failed
#       check fails the test although test_facepose itself exits 0.
#
#   add_facepose_case_folder(FOLDER MODEL_DIR [PREFIX prefix])
#       Every sub-folder of FOLDER that holds one image and one .nkvalid file
#       becomes the case PREFIX<sub-folder name> (PREFIX defaults to
#       "regression."). Sub-folders are found when CMake configures.
#
# Both label their tests "regression", so `ctest -L regression` runs them and
# `ctest -L regression --output-junit report.xml` reports them as JUnit XML.
# The program is the target test_facepose (or zor::test_facepose from an
# installed package), or FACEPOSE_PROGRAM when that is set.

function(_facepose_program out)
    if(FACEPOSE_PROGRAM)
        set(${out} "${FACEPOSE_PROGRAM}" PARENT_SCOPE)
    elseif(TARGET test_facepose)
        set(${out} "$<TARGET_FILE:test_facepose>" PARENT_SCOPE)
    elseif(TARGET zor::test_facepose)
        set(${out} "$<TARGET_FILE:zor::test_facepose>" PARENT_SCOPE)
    else()
        message(FATAL_ERROR "add_facepose_case: no test_facepose target; set FACEPOSE_PROGRAM")
    endif()
endfunction()

function(add_facepose_case NAME MODEL_DIR IMAGE EXPECTATION)
    _facepose_program(program)
    set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/facepose-cases/${NAME}")
    file(MAKE_DIRECTORY "${work_dir}")
    add_test(NAME ${NAME}
        COMMAND ${program} -m ${MODEL_DIR} -p ${IMAGE} -v ${EXPECTATION}
        WORKING_DIRECTORY "${work_dir}")
    set_tests_properties(${NAME} PROPERTIES
        LABELS regression
        PASS_REGULAR_EXPRESSION "\\] Test passed\\.")
endfunction()

function(add_facepose_case_folder FOLDER MODEL_DIR)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "PREFIX" "")
    if(NOT DEFINED arg_PREFIX)
        set(arg_PREFIX "regression.")
    endif()
    file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS "${FOLDER}/*")
    foreach(case_dir IN LISTS entries)
        if(NOT IS_DIRECTORY "${case_dir}")
            continue()
        endif()
        get_filename_component(case_name "${case_dir}" NAME)
        # The image kinds that the recorder and the suite know, in any letter case.
        file(GLOB case_files LIST_DIRECTORIES false "${case_dir}/*")
        set(images "")
        foreach(file IN LISTS case_files)
            get_filename_component(extension "${file}" LAST_EXT)
            string(TOLOWER "${extension}" extension)
            if(extension MATCHES "^\\.(png|jpg|jpeg|bmp|tif|tiff|webp|pgm|ppm)$")
                list(APPEND images "${file}")
            endif()
        endforeach()
        file(GLOB expectations LIST_DIRECTORIES false "${case_dir}/*.nkvalid")
        list(LENGTH images image_count)
        list(LENGTH expectations expectation_count)
        if(NOT image_count EQUAL 1 OR NOT expectation_count EQUAL 1)
            message(WARNING "facepose case ${case_dir}: needs one image and one .nkvalid file; skipped")
            continue()
        endif()
        add_facepose_case(${arg_PREFIX}${case_name} "${MODEL_DIR}" "${images}" "${expectations}")
    endforeach()
endfunction()
