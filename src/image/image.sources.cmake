# Shared by the callers' core and the decoder process: bitmap ownership and copies, the format
# table, and the messages between the two.
set(VANTREL_IMAGE_BASE_SOURCES
    src/image/Bitmap.cpp
    src/image/BitmapCopies.cpp
    src/image/ImageFormats.cpp
    src/image/DecodeProtocol.cpp
    src/image/Image.cpp
    src/image/Result.cpp
)
list(APPEND VANTREL_CORE_SOURCES
    src/image/DecodeClient.cpp
    src/image/OpenImage.cpp
)
# Only the decoder process parses image bytes.
set(VANTREL_DECODING_SOURCES
    src/image/DecodeInProcess.cpp
    src/image/HeaderSize.cpp
    src/image/DecodeFallbacks.cpp
    src/image/DecodeJpegXr.cpp
)
