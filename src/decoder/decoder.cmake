# vantrel-decoder, the process LoadImageFile decodes in, and the library of what only it does:
# parsing image bytes. It is built beside vantrel and vantrel-cli (which look for it next to
# themselves); test and benchmark programs in other folders find it through the build path
# compiled into the core.
pkg_check_modules(JXR REQUIRED IMPORTED_TARGET libjxr)
add_library(vantrel_decoding STATIC ${VANTREL_DECODING_SOURCES})
target_link_libraries(vantrel_decoding PUBLIC vantrel_image_base Qt6::Gui PkgConfig::JXR)
add_executable(vantrel-decoder src/decoder/main.cpp)
target_link_libraries(vantrel-decoder PRIVATE vantrel_decoding)
target_compile_definitions(vantrel_core
    PRIVATE VANTREL_DECODER_BUILD_PATH="$<TARGET_FILE:vantrel-decoder>")
# Whatever links the core can load images only with the decoder built.
add_dependencies(vantrel_core vantrel-decoder)
