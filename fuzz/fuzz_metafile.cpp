// The recorded-page deserialiser (the page store reads its spill file back
// through it). Hostile bytes fail only with "Stream read error"; bytes that
// are accepted are exactly what Serialize writes for the page they give (one
// form per page), and the page survives another round trip. The memory taken
// is bounded by the input: no count or length is trusted before it is
// checked against the bytes that are there.

#include "FuzzSupport.h"
#include "preview/Metafile.h"

#include "Exceptions.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    using diroze::TMetafile;
    const std::string_view bytes(reinterpret_cast<const char*>(aData), aSize);
    const int64_t stated = TMetafile::LengthFromHeader(bytes);
    FUZZ_CHECK(stated == -1 || stated >= TMetafile::kHeaderSize);
    try {
        const TMetafile page = TMetafile::Deserialize(bytes);
        FUZZ_CHECK(stated == int64_t(aSize));
        FUZZ_CHECK(page.Records().size() <= aSize);
        const QByteArray again = page.Serialize();
        FUZZ_CHECK(std::string_view(again.constData(), size_t(again.size())) == bytes);
        FUZZ_CHECK(TMetafile::Deserialize(std::string_view(again.constData(), size_t(again.size()))) == page);
    } catch (const hostutils::Exception& e) {
        FUZZ_CHECK(std::string_view(e.what()) == "Stream read error");
    }
    return 0;
}
