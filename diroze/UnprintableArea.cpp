#include "UnprintableArea.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace diroze {

namespace {

// Dark pixels of aImage, as the smallest rectangle holding them; an empty
// one when there are none.
QRect InkBounds(const QImage& aImage)
{
    int left = aImage.width(), top = aImage.height(), right = -1, bottom = -1;
    for (int y = 0; y < aImage.height(); ++y) {
        const uchar* row = aImage.constScanLine(y);
        const uchar* end = row + aImage.width();
        const uchar* first = std::find_if(row, end, [](uchar aGray) { return aGray < 128; });
        if (first == end)
            continue;
        const auto last = std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(first),
                                       [](uchar aGray) { return aGray < 128; });
        left = std::min(left, int(first - row));
        right = std::max(right, int(last.base() - row) - 1);
        top = std::min(top, y);
        bottom = y;
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

QString UnprintableNote(TPrintPreview& aNahled, const TPrinterJobPage& aPage)
{
    const QMarginsF& margins = aPage.Unprintable;
    if (aNahled.TotalPages() < 1 || margins.isNull())
        return QString();
    const TMetafile& page = *aNahled.PageList().GetEntry(0).Metafile();
    const double width = page.Width() / 100.0, height = page.Height() / 100.0; // mm
    // Ten pixels a millimetre, fewer for a sheet beyond 400 mm.
    const double scale = std::min(10.0, 4000 / std::max({width, height, 1.0}));
    QImage image(std::max(1, int(std::ceil(width * scale))), std::max(1, int(std::ceil(height * scale))),
                 QImage::Format_Grayscale8);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        page.Play(painter, QRectF(0, 0, width * scale, height * scale), false);
    }
    const QRect ink = InkBounds(image);
    if (ink.isNull())
        return QString();
    // The ink on the paper, in millimetres, as the calibration moves it.
    const double dx = aPage.Calibration.Offset.X / 100.0, dy = aPage.Calibration.Offset.Y / 100.0;
    const double left = ink.left() / scale + dx, right = (ink.right() + 1) / scale + dx;
    const double top = ink.top() / scale + dy, bottom = (ink.bottom() + 1) / scale + dy;
    // Half a pixel of the measure.
    const double tolerance = 0.5 / scale;
    QStringList sides;
    const auto side = [&](bool aReached, const char* aName, double aMargin) {
        if (aReached && aMargin > 0)
            sides << QStringLiteral("%1 %2 mm").arg(QString::fromUtf8(aName), QString::number(aMargin, 'f', 2));
    };
    side(top < margins.top() - tolerance, "nahoře", margins.top());
    side(bottom > height - margins.bottom() + tolerance, "dole", margins.bottom());
    side(left < margins.left() - tolerance, "vlevo", margins.left());
    side(right > width - margins.right() + tolerance, "vpravo", margins.right());
    if (sides.isEmpty())
        return QString();
    return QStringLiteral("Obsah první strany zasahuje do okraje, který tiskárna \"%1\" netiskne: %2; co v něm leží, "
                          "se nevytiskne")
        .arg(aPage.Printer, sides.join(QStringLiteral(", ")));
}

} // namespace diroze
