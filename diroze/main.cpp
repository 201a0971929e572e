// diroze: prints sheets of labels from a data file written by a host program.
//
//   diroze FILE [-codePage:N] [-numbers] [-fontBold] -check
//
// -check reads the data file and lists its labels, or reports the first bad
// line, without opening a window.

#include "CheckReport.h"
#include "DataFile.h"
#include "ParamParser.h"
#include "UtilsString.h"

#include <QTextStream>

#include <clocale>
#include <cstdio>

using namespace diroze;

namespace {

int CheckDataFile(const hostutils::TParamParser& aParams)
{
    const QString fileName = aParams.GetArgument(QString());
    QTextStream out(stdout);
    QTextStream err(stderr);
    TStitekList labels;
    try {
        LoadFile(labels, fileName, DefaultOptionsFromParams(aParams), aParams);
    } catch (const std::exception& e) {
        for (size_t i = 0; i < labels.size(); ++i)
            out << DescribeLabel(static_cast<int>(i) + 1, *labels[i]) << '\n';
        out.flush();
        err << "diroze: " << fileName;
        if (const auto* bad = dynamic_cast<const EBadLine*>(&e))
            err << QStringLiteral(": řádek %1").arg(bad->LineNumber());
        err << ": " << hostutils::MessageText(e) << '\n';
        return 1;
    }
    for (size_t i = 0; i < labels.size(); ++i)
        out << DescribeLabel(static_cast<int>(i) + 1, *labels[i]) << '\n';
    out << QStringLiteral("Štítků: %1").arg(labels.size()) << '\n';
    return 0;
}

} // namespace

int main()
{
    std::setlocale(LC_ALL, "");
    try {
        // Until the dialog is built every run is a check run.
        return CheckDataFile(hostutils::GlobalParamParser());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "diroze: %s\n", e.what());
        return 1;
    }
}
