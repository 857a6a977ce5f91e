#include "app/export_file_names.h"

namespace kalvo {

QString FileExtension(const QString& path) {
    const QString name = path.mid(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
}

QString CsvFileName(const QString& chosen) {
    return FileExtension(chosen).compare(".csv", Qt::CaseInsensitive) == 0 ? chosen
                                                                           : chosen + ".csv";
}

QString BmpFileName(const QString& chosen) {
    return FileExtension(chosen).compare(".bmp", Qt::CaseInsensitive) == 0 ? chosen
                                                                           : chosen + ".bmp";
}

QString PngFileName(const QString& chosen) {
    return FileExtension(chosen).compare(".png", Qt::CaseInsensitive) == 0 ? chosen
                                                                           : chosen + ".png";
}

QString ReportFileName(const QString& chosen) {
    const QString extension = FileExtension(chosen).toLower();
    return extension == ".html" || extension == ".htm" || extension == ".pdf" ? chosen
                                                                              : chosen + ".html";
}

} // namespace kalvo
