#pragma once

#include <QString>

namespace kalvo {

// The extension of a chosen file name: the text from the last "." of its final component,
// or nothing.
QString FileExtension(const QString& path);
// Adds ".csv" unless the name already ends in .csv in any case.
QString CsvFileName(const QString& chosen);
// Adds ".bmp" unless the name already ends in .bmp in any case.
QString BmpFileName(const QString& chosen);
// Adds ".png" unless the name already ends in .png in any case.
QString PngFileName(const QString& chosen);

// Keeps a name ending in .html, .htm or .pdf in any case; adds ".html" to any other.
QString ReportFileName(const QString& chosen);

} // namespace kalvo
