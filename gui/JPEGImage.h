#pragma once
// JPEG pictures, decoded with libjpeg.

#include "gui/PictureLoader.h"

#include <stdexcept>

namespace tarvik::gui {

// A failure inside libjpeg: "JPEG error #<the library's message code>".
class JPEGError : public std::runtime_error
{
  public:
    explicit JPEGError(int code);
    int code() const { return m_code; }

  private:
    int m_code;
};

class TJPEGImage final : public TGraphic
{
  public:
    static constexpr const char* ClassName = "TJPEGImage";

    // Decodes a JFIF stream. Any complaint of the library, a warning about
    // corrupt or missing data included, throws JPEGError: a picture is shown
    // whole or not at all.
    void loadFromBytes(const QByteArray& bytes) override;
    const QImage& image() const override { return m_image; }

  private:
    QImage m_image;
};

} // namespace tarvik::gui
