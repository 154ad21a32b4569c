# The isolated load path: LoadImageFile's client side lives in the core; the decoder process
# (src/decoder/decoder.cmake) builds the in-process decode with the fallback readers.
list(APPEND VANTREL_CORE_SOURCES
    src/image/DecodeClient.cpp
    src/image/DecodeProtocol.cpp
)
set(VANTREL_DECODER_SOURCES
    src/decoder/main.cpp
    src/image/Bitmap.cpp
    src/image/ImageLoading.cpp
    src/image/DecodeProtocol.cpp
    src/image/DecodeFallbacks.cpp
    src/image/DecodeJpegXr.cpp
)
