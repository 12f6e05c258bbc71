# Runs the asset generator into a scratch folder and fails unless it reproduces every
# committed asset byte for byte, so an edited generator cannot drift from what ships.
#   cmake -DMAKE_ASSETS=... -DSOURCE_DIR=... -DWORK_DIR=... -P GeneratorReproducesAssets.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${MAKE_ASSETS}" "${WORK_DIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the asset generator failed: ${status}")
endif()
set(committed
    assets/sky.bmp assets/logo.gif assets/frolix.ico assets/frolix-viewer.desktop
    assets/frolix-viewer-16.png assets/frolix-viewer-32.png assets/frolix-viewer-48.png
    assets/frolix-viewer-64.png assets/frolix-viewer-128.png assets/frolix-viewer-256.png
    window/Frolix1.state)
set(differing "")
foreach(path IN LISTS committed)
    get_filename_component(name "${path}" NAME)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/${name}" "${SOURCE_DIR}/${path}"
        RESULT_VARIABLE same)
    if(NOT same EQUAL 0)
        list(APPEND differing "${path}")
    endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
if(differing)
    message(FATAL_ERROR "the generator no longer reproduces: ${differing}")
endif()
