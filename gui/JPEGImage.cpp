#include "gui/JPEGImage.h"

#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <string>

namespace tarvik::gui {
namespace {

// libjpeg reports a failure by calling error_exit, which must not return. We
// leave the library with longjmp back to the setjmp of the step that called
// it. The steps below own no C++ object with a destructor, so the jump skips
// nothing that needs cleaning up; the caller turns the code into an
// exception once the library is out of the way.
struct ErrorManager
{
    jpeg_error_mgr library;
    std::jmp_buf jump;
    int code;
};

[[noreturn]] void failWithCode(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->code = info->err->msg_code;
    std::longjmp(errors->jump, 1);
}

// Level -1 is a warning about corrupt data (a truncated stream among them),
// which would otherwise yield a picture with grey or garbled parts.
void warnOrTrace(j_common_ptr info, int level)
{
    if (level < 0)
        failWithCode(info);
}

// The library prints nothing.
void printNothing(j_common_ptr) {}

void useErrorManager(jpeg_decompress_struct* info, ErrorManager* errors)
{
    info->err = jpeg_std_error(&errors->library);
    errors->library.error_exit = failWithCode;
    errors->library.emit_message = warnOrTrace;
    errors->library.output_message = printNothing;
    errors->code = 0;
}

bool createDecoder(jpeg_decompress_struct* info, ErrorManager* errors)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_create_decompress(info);
    return true;
}

bool startDecoding(jpeg_decompress_struct* info, ErrorManager* errors, const unsigned char* data,
                   unsigned long size)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_mem_src(info, data, size);
    jpeg_read_header(info, TRUE);
    info->out_color_space = info->num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(info);
    return true;
}

bool readRows(jpeg_decompress_struct* info, ErrorManager* errors, unsigned char* pixels,
              size_t stride)
{
    if (setjmp(errors->jump))
        return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = pixels + info->output_scanline * stride;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

class DecoderGuard
{
  public:
    explicit DecoderGuard(jpeg_decompress_struct* info) : m_info(info) {}
    ~DecoderGuard() { jpeg_destroy_decompress(m_info); }
    DecoderGuard(const DecoderGuard&) = delete;
    DecoderGuard& operator=(const DecoderGuard&) = delete;

  private:
    jpeg_decompress_struct* m_info;
};

} // namespace

JPEGError::JPEGError(int code)
    : std::runtime_error("JPEG error #" + std::to_string(code)), m_code(code)
{}

void TJPEGImage::loadFromBytes(const QByteArray& bytes)
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    useErrorManager(&info, &errors);
    if (!createDecoder(&info, &errors))
        throw JPEGError(errors.code);
    const DecoderGuard guard(&info);

    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (!startDecoding(&info, &errors, data, static_cast<unsigned long>(bytes.size())))
        throw JPEGError(errors.code);

    QImage decoded(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   info.out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8
                                                         : QImage::Format_RGB888);
    if (decoded.isNull())
        throw JPEGError(JERR_OUT_OF_MEMORY);
    if (!readRows(&info, &errors, decoded.bits(), static_cast<size_t>(decoded.bytesPerLine())))
        throw JPEGError(errors.code);
    m_image = std::move(decoded);
}

} // namespace tarvik::gui
