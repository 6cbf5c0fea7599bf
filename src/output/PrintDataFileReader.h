#pragma once

#include "report/ReportDataSet.h"

#include <QString>

#include <memory>

class PrintComponents;
class TClientDataSet;

namespace output {

// Reads a print data file as a report's records. The file must describe the
// fields of `layout`, exactly as when printing opens it, and fails with the
// same data-set errors ("ClientDataSet: Fehlender Daten-Provider oder
// Datenpaket" for a missing file).
std::unique_ptr<ReportDataSet> readPrintDataFile(const TClientDataSet &layout, const QString &path);

// Lets report projects of the print components' engine read their records from
// a print data file (<data file="Bewohner.xml"/>), with the print data set's fields.
void installPrintDataFileReader(PrintComponents &print);

} // namespace output
