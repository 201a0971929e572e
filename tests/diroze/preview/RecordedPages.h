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

} // namespace recordedpages
