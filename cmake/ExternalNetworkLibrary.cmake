# Imported targets for a network library built elsewhere, under the same
# names as our own build's targets.

function(zor_import_network_library target file)
    set(path "${ZOR_NETWORK_LIBRARY_DIR}/${file}")
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "ZOR_NETWORK_LIBRARY_DIR has no ${file}: ${path}")
    endif()
    add_library(${target} SHARED IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES
        IMPORTED_LOCATION "${path}"
        IMPORTED_NO_SONAME FALSE
        INTERFACE_INCLUDE_DIRECTORIES "${ZOR_NETWORK_INCLUDE_DIR}")
endfunction()

zor_import_network_library(zor::networks_utils libzor_networks_utils.so)
zor_import_network_library(zor::networks_core libzor_networks_core.so)
zor_import_network_library(zor::facepose libzor_facepose.so.1)
set_property(TARGET zor::facepose APPEND PROPERTY
    INTERFACE_LINK_LIBRARIES zor::networks_core opencv_core)
