# The OpenCV components the module uses (core, imgproc, imgcodecs; videoio for
# the frame source's video input), found
# without OpenCV's own package configuration, which only the full
# development package installs.
find_path(OpenCVParts_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_opencv_parts core imgproc imgcodecs videoio)
set(_opencv_vars OpenCVParts_INCLUDE_DIR)
foreach(part IN LISTS _opencv_parts)
  find_library(OpenCVParts_${part}_LIBRARY opencv_${part})
  list(APPEND _opencv_vars OpenCVParts_${part}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVParts REQUIRED_VARS ${_opencv_vars})

if(OpenCVParts_FOUND)
  foreach(part IN LISTS _opencv_parts)
    if(NOT TARGET OpenCV::${part})
      add_library(OpenCV::${part} UNKNOWN IMPORTED)
      set_target_properties(OpenCV::${part} PROPERTIES
        IMPORTED_LOCATION ${OpenCVParts_${part}_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${OpenCVParts_INCLUDE_DIR})
    endif()
  endforeach()
endif()
