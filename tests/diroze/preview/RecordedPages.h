#pragma once
// Pages recorded for the printing tests, each drawn so that the printed
// result tells which page it was.

#include "preview/PrintPreview.h"

#include <functional>

namespace recordedpages {

// Records aCount pages into aPreview; aDrawPage draws page N (from 1).
inline void RecordPages(diroze::TPrintPreview& aPreview, int aCount,
                        const std::function<void(diroze::TCanvas&, int)>& aDrawPage)
{
    aPreview.BeginDoc();
    for (int page = 1; page <= aCount; ++page) {
        if (page > 1)
            aPreview.NewPage();
        aDrawPage(*aPreview.Canvas(), page);
    }
    aPreview.EndDoc();
}

// Records aCount pages. Each has a black 10 mm square 20 mm from the
// paper's left edge and 30 mm from its top; page N has N small 4 mm squares
// in a row 60 mm from the top, 8 mm apart, so that the page can be told
// from its picture (the spooler's PDF printer keeps no text).
inline void RecordMarkedPages(diroze::TPrintPreview& aPreview, int aCount)
{
    RecordPages(aPreview, aCount, [](diroze::TCanvas& aCanvas, int aPage) {
        aCanvas.Brush().Color = 0;
        aCanvas.FillRect(diroze::TRect{2000, 3000, 3000, 4000});
        for (int mark = 0; mark < aPage; ++mark)
            aCanvas.FillRect(diroze::TRect{2000 + 800 * mark, 6000, 2400 + 800 * mark, 6400});
    });
}

} // namespace recordedpages
