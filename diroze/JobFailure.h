#pragma once
// Failures of the runs without the dialog (-pdf, -print), each with the file
// or thing it concerns, so that the report names what to fix.

#include "DataFile.h"
#include "Exceptions.h"
#include "UtilsString.h"

#include <QString>

namespace diroze {

// A failure about aSubject (the data file, the presets file, the output
// file); its text is the cause's, a bad line's number before it
// ("řádek 2: Neznámý povel \"@9\"").
class EJobFailure : public hostutils::Exception {
public:
    EJobFailure(const QString& aSubject, const std::exception& aCause)
            : Exception(CauseText(aCause).toStdString()), FSubject(aSubject)
    {
    }
    const QString& Subject() const { return FSubject; }

private:
    static QString CauseText(const std::exception& aCause)
    {
        if (const auto* bad = dynamic_cast<const EBadLine*>(&aCause))
            return QStringLiteral("řádek %1: ").arg(bad->LineNumber()) + hostutils::MessageText(aCause);
        return hostutils::MessageText(aCause);
    }

    QString FSubject;
};

// Runs aStep; its failure comes out as EJobFailure about aSubject. With an
// empty subject the failure passes unchanged.
template <class TStep>
auto WithSubject(const QString& aSubject, TStep&& aStep) -> decltype(aStep())
{
    try {
        return aStep();
    } catch (const EJobFailure&) {
        throw;
    } catch (const std::exception& e) {
        if (aSubject.isEmpty())
            throw;
        throw EJobFailure(aSubject, e);
    }
}

} // namespace diroze
