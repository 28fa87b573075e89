# `cmake --install`: the two programs, the network libraries, the validator
# library with its headers, and a package configuration so that another
# network's test program can `find_package(zor_validator)` and link the one
# target zor::validator (and register cases with add_facepose_case).

include(CMakePackageConfigHelpers)

install(TARGETS test_facepose record_facepose facepose_suite RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
    ${PROJECT_SOURCE_DIR}/test/validator/result_validator.h
    ${PROJECT_SOURCE_DIR}/test/validator/text_utils.h
    ${PROJECT_SOURCE_DIR}/test/validator/expectation_text.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zor/validator)

if(NOT TARGET zor_networks_utils)
    message(STATUS "Another build of the network library is used: installing the programs only")
    return()
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/network DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zor)
install(TARGETS zor_facepose zor_networks_core zor_networks_utils LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/zor_validator)
set_target_properties(zor_validator PROPERTIES EXPORT_NAME validator)
set_target_properties(zor_safe_file PROPERTIES EXPORT_NAME safe_file)
install(TARGETS zor_validator zor_safe_file test_facepose EXPORT zor_validator_targets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT zor_validator_targets NAMESPACE zor:: DESTINATION ${package_dir}
    FILE zor_validatorTargets.cmake)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zor_validatorConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/zor_validatorConfig.cmake
    INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zor_validatorConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/zor_validatorConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/zor_validatorConfigVersion.cmake
    ${CMAKE_CURRENT_LIST_DIR}/FaceposeCases.cmake
    DESTINATION ${package_dir})
