// The dialog with the bundled example as a user sees it, saved for the README.

#include "ParamParser.h"
#include "preview/PreviewView.h"
#include "ui/DialogSeam.h"
#include "ui/MainDialog.h"
#include "ui/Widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace diroze;

TEST(DialogScreenshot, ExampleWithAPresetAndTheSettingsOpen)
{
    QTemporaryDir dir;
    QFile presets(dir.filePath(QStringLiteral("diroze.xml")));
    ASSERT_TRUE(presets.open(QIODevice::WriteOnly));
    presets.write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diroze><predvolby>"
        "<predvolba nazev=\"Regálové štítky A4\" vybrana=\"true\"><papir format=\"8\"/>"
        "<stitek pocet-x=\"4\" pocet-y=\"10\" mezera-x=\"2\" mezera-y=\"2\"/><pismo font=\"Arial\" velikost=\"10\"/>"
        "</predvolba></predvolby></diroze>\n");
    presets.close();
    const hostutils::TParamParser params(QStringLiteral("diroze \"" EXAMPLES_DIR "/stitky.txt\" -numbers"));
    TDialogSeam seam;
    TfrmHlavni dialog(seam, params, dir.path() + u'/');
    dialog.resize(900, 700);
    dialog.FormCreate();
    dialog.panPapir->SetCollapsed(false);
    dialog.panStitky->SetCollapsed(false);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.lstPredvolby->currentText(), QStringLiteral("Regálové štítky A4"));
    EXPECT_EQ(dialog.Nahled().TotalPages(), 1);
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(DIALOG_SCREENSHOT_PATH)));
}
