# libjpeg for the pictures: the system library natively; for Windows, libjpeg-turbo cross-built
# here from Debian's source package (scripts/setup.sh fetches it into build/deps).
if(WIN32)
  file(GLOB MERVA_LIBJPEG_SOURCE_FOUND "${CMAKE_SOURCE_DIR}/build/deps/libjpeg-turbo-*/CMakeLists.txt")
  if(NOT MERVA_LIBJPEG_SOURCE_FOUND)
    message(FATAL_ERROR "libjpeg-turbo source not found under build/deps: run scripts/setup.sh")
  endif()
  list(GET MERVA_LIBJPEG_SOURCE_FOUND 0 first)
  get_filename_component(MERVA_LIBJPEG_SOURCE "${first}" DIRECTORY)
  set(JPEG_PREFIX "${CMAKE_BINARY_DIR}/libjpeg")
  include(ExternalProject)
  # Every step names its folders: a step that ran in "." would take the folder's physical path,
  # which may hold a "\" that CMake reads as a separator (see scripts/root.sh).
  ExternalProject_Add(libjpeg_turbo
    SOURCE_DIR "${MERVA_LIBJPEG_SOURCE}"
    CONFIGURE_COMMAND ${CMAKE_COMMAND} -S <SOURCE_DIR> -B <BINARY_DIR> -G ${CMAKE_GENERATOR}
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
      -DCMAKE_INSTALL_PREFIX=${JPEG_PREFIX}
      -DCMAKE_BUILD_TYPE=Release
      -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
    INSTALL_COMMAND ${CMAKE_COMMAND} --install <BINARY_DIR>
    BUILD_BYPRODUCTS "${JPEG_PREFIX}/lib/libjpeg.a")
  file(MAKE_DIRECTORY "${JPEG_PREFIX}/include")
  add_library(merva_jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(merva_jpeg PROPERTIES
    IMPORTED_LOCATION "${JPEG_PREFIX}/lib/libjpeg.a"
    INTERFACE_INCLUDE_DIRECTORIES "${JPEG_PREFIX}/include")
  add_dependencies(merva_jpeg libjpeg_turbo)
else()
  find_package(JPEG REQUIRED)
  add_library(merva_jpeg INTERFACE)
  target_link_libraries(merva_jpeg INTERFACE JPEG::JPEG)
endif()
