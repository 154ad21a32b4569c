# vantrel-decoder, the process LoadImageFile decodes in. It is built beside vantrel and
# vantrel-cli (which look for it next to themselves); test and benchmark programs in other
# folders find it through the build path compiled into the core.
find_package(PkgConfig REQUIRED)
pkg_check_modules(JXR REQUIRED IMPORTED_TARGET libjxr)
add_executable(vantrel-decoder ${VANTREL_DECODER_SOURCES})
target_include_directories(vantrel-decoder PRIVATE src)
target_link_libraries(vantrel-decoder PRIVATE FreeImage::FreeImage Qt6::Gui PkgConfig::JXR)
target_compile_definitions(vantrel_core
    PRIVATE VANTREL_DECODER_BUILD_PATH="$<TARGET_FILE:vantrel-decoder>")
# Whatever links the core can load images only with the decoder built.
add_dependencies(vantrel_core vantrel-decoder)
