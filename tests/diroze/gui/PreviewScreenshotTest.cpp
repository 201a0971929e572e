// The bundled example as the preview shows it, saved as a picture for the README.

#include "DataFile.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "Render.h"
#include "preview/PreviewView.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace diroze;

TEST(PreviewScreenshot, ExampleSheetIsShownFittedWithFrames)
{
    const hostutils::TParamParser params(QStringLiteral("diroze x -numbers"));
    TStitekList labels;
    LoadFile(labels, QStringLiteral(EXAMPLES_DIR "/stitky.txt"), DefaultOptionsFromParams(params), params);
    TPrintPreviewView view;
    view.SetScreenPixelsPerInch(96);
    view.resize(560, 760);
    view.show();
    Render(view, labels, ReadPapir(StartControls(), QLocale()), true);
    QApplication::processEvents();

    const QImage shot = view.grab().toImage();
    const QString path = QStringLiteral(SCREENSHOT_PATH);
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    EXPECT_EQ(view.CurrentPage(), 1);
    EXPECT_EQ(view.ZoomState(), zsZoomToFit);
    int ink = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ink += qGray(shot.pixel(x, y)) < 60;
    EXPECT_GT(ink, 2000) << "bars and texts are on the sheet";
}
