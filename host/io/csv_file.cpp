#include "host/app/progress_reporter.h"
#include "host/filter/expression_parser.h"
#include "host/io/dataset_file.h"
#include "host/text/text_form.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <optional>
#include <touchsearch/dataset_error.h>

namespace host::io {

namespace {

[[noreturn]] void CsvError(const QString& path, const QString& reason)
{
    throw DatasetError(QStringLiteral("Cannot read \"%1\": %2").arg(path, reason));
}

struct CsvCell {
    QByteArray text;
    bool quoted = false;
};

// RFC 4180: fields separated by commas, records by CRLF or LF; a quoted field may hold
// commas, line breaks and doubled quotes.
std::vector<std::vector<CsvCell>> ParseCsv(const QByteArray& data, const QString& path)
{
    std::vector<std::vector<CsvCell>> records;
    std::vector<CsvCell> record;
    CsvCell cell;
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype n = data.size();
    int line = 1;
    bool atFieldStart = true;
    bool pending = false; // something of the current record has been read
    // A NUL byte is told where it is met: a file with NULs is most likely UTF-16 without
    // a byte order mark, whose bytes make odd quotes and records further on.
    const auto nul = [&] {
        const size_t field = record.size() + 1;
        CsvError(
            path,
            QStringLiteral("%1 holds a NUL byte; is the file UTF-16?")
                .arg(records.empty()
                         ? QStringLiteral("header field %1").arg(field)
                         : QStringLiteral("record %1, field %2").arg(records.size()).arg(field)));
    };
    while (i < n) {
        const char c = data[i];
        if (c == '\0') {
            nul();
        }
        if (atFieldStart && c == '"') {
            cell.quoted = true;
            const int startLine = line;
            ++i;
            for (;;) {
                if (i >= n) {
                    CsvError(
                        path,
                        QStringLiteral("line %1: a quoted field is not closed").arg(startLine));
                }
                if (data[i] == '"') {
                    if (i + 1 < n && data[i + 1] == '"') {
                        cell.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (data[i] == '\n') {
                    ++line;
                } else if (data[i] == '\0') {
                    nul();
                }
                cell.text += data[i];
                ++i;
            }
            atFieldStart = false;
            pending = true;
            if (i < n && data[i] != ',' && data[i] != '\n' && data[i] != '\r') {
                CsvError(path, QStringLiteral("line %1: text after a closing quote").arg(line));
            }
            continue;
        }
        if (c == ',') {
            record.push_back(std::move(cell));
            cell = {};
            atFieldStart = true;
            pending = true;
            ++i;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n') {
                ++i;
            }
            ++i;
            if (pending || !cell.text.isEmpty()) {
                record.push_back(std::move(cell));
                records.push_back(std::move(record));
            }
            record = {};
            cell = {};
            atFieldStart = true;
            pending = false;
            ++line;
        } else {
            if (c == '"') {
                CsvError(path,
                         QStringLiteral("line %1: a quote inside an unquoted field").arg(line));
            }
            cell.text += c;
            atFieldStart = false;
            pending = true;
            ++i;
        }
    }
    if (pending || !cell.text.isEmpty()) {
        record.push_back(std::move(cell));
        records.push_back(std::move(record));
    }
    return records;
}

// The file's text as UTF-8. A file that begins with a UTF-16 or UTF-32 byte order mark
// (as spreadsheet programs save "Unicode text") is decoded, its mark dropped; anything
// else is taken as it is (UTF-8, with or without its mark, checked field by field).
QByteArray Utf8Data(const QByteArray& data, const QString& path)
{
    const std::optional<QStringConverter::Encoding> encoding =
        QStringConverter::encodingForData(data);
    if (!encoding || *encoding == QStringConverter::Utf8) {
        return data;
    }
    QStringDecoder decoder(*encoding);
    const QString text = decoder.decode(data);
    if (decoder.hasError() || !text.isValidUtf16()) { // a lone surrogate passes the decoder
        CsvError(path, QStringLiteral("the file begins with a %1 byte order mark but is not "
                                      "%1 text")
                           .arg(QLatin1String(QStringConverter::nameForEncoding(*encoding))));
    }
    return text.toUtf8(); // the decoder drops the mark
}

bool IsInteger(const QByteArray& t)
{
    // Leading zeros ("007") are kept as text: they would be lost as a number.
    if (t.isEmpty()) {
        return false;
    }
    qsizetype i = t[0] == '-' ? 1 : 0;
    if (i >= t.size() || (t[i] == '0' && t.size() > i + 1)) {
        return false;
    }
    bool ok = false;
    t.toLongLong(&ok);
    return ok;
}

bool IsFloat(const QByteArray& t)
{
    if (t.isEmpty() || t.contains(' ')) {
        return false;
    }
    const qsizetype digits = t[0] == '-' ? 1 : 0;
    if (t.size() > digits + 1 && t[digits] == '0' && t[digits + 1] >= '0' && t[digits + 1] <= '9') {
        return false; // leading zero: a code, kept as text
    }
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && std::isfinite(d) && (t[0] == '-' || (t[0] >= '0' && t[0] <= '9'));
}

std::optional<bool> AsBool(const QByteArray& t)
{
    const QByteArray l = t.toLower();
    if (l == "true") {
        return true;
    }
    if (l == "false") {
        return false;
    }
    return std::nullopt;
}

bool IsDate(const QByteArray& t)
{
    return t.size() == 10 && t[4] == '-' && t[7] == '-' &&
           QDate::fromString(QString::fromLatin1(t), Qt::ISODate).isValid();
}

} // namespace

void CheckFileFieldName(const QString& path, const QString& name, int position)
{
    // A filter names any other field in double quotes ("NM CLIENTE").
    if (const QString problem = filter::FieldNameProblem(name); !problem.isEmpty()) {
        throw DatasetError(QStringLiteral("Cannot read \"%1\": field %2 is named \"%3\"; %4")
                               .arg(path)
                               .arg(position)
                               .arg(name, problem));
    }
}

Table LoadCsvTable(const QString& path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        CsvError(path, QStringLiteral("the file does not exist"));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        CsvError(path, file.errorString());
    }
    const QByteArray data = Utf8Data(file.readAll(), path);
    const auto records = ParseCsv(data, path);
    if (records.empty()) {
        CsvError(path, QStringLiteral("no header row"));
    }
    const std::vector<CsvCell>& header = records.front();
    const size_t width = header.size();
    for (size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() != width) {
            CsvError(path, QStringLiteral("record %1 has %2 fields; the header has %3")
                               .arg(r)
                               .arg(records[r].size())
                               .arg(width));
        }
    }
    // Text must be UTF-8 (ParseCsv refused NUL bytes).
    for (size_t r = 0; r < records.size(); ++r) {
        for (size_t c = 0; c < width; ++c) {
            const QByteArray& text = records[r][c].text;
            if (!IsValidUtf8({text.constData(), static_cast<size_t>(text.size())})) {
                CsvError(path, r == 0
                                   ? QStringLiteral("header field %1 is not UTF-8 text").arg(c + 1)
                                   : QStringLiteral("record %1, field %2 is not UTF-8 text")
                                         .arg(r)
                                         .arg(c + 1));
            }
        }
    }

    // Each column takes the narrowest type every non-empty value fits: integer, float,
    // boolean (true/false), date (YYYY-MM-DD), else text sized to its longest value. An
    // empty unquoted value is NULL.
    Table table;
    table.tableName = QFileInfo(path).completeBaseName();
    for (size_t c = 0; c < width; ++c) {
        const QString name = QString::fromUtf8(header[c].text).trimmed();
        if (name.isEmpty()) {
            CsvError(path, QStringLiteral("header field %1 is empty").arg(c + 1));
        }
        CheckFileFieldName(path, name, static_cast<int>(c) + 1);
        if (table.FindField(name) >= 0) {
            CsvError(path, QStringLiteral("field \"%1\" appears twice in the header").arg(name));
        }
        bool ints = true;
        bool floats = true;
        bool bools = true;
        bool dates = true;
        bool any = false;
        for (size_t r = 1; r < records.size(); ++r) {
            const CsvCell& cell = records[r][c];
            if (cell.text.isEmpty() && !cell.quoted) {
                continue;
            }
            any = true;
            ints = ints && !cell.quoted && IsInteger(cell.text);
            floats = floats && !cell.quoted && IsFloat(cell.text);
            bools = bools && AsBool(cell.text).has_value();
            dates = dates && IsDate(cell.text);
        }
        FieldDef def;
        def.name = name;
        def.type = !any     ? FieldType::Text
                   : ints   ? FieldType::Integer
                   : floats ? FieldType::Float
                   : bools  ? FieldType::Boolean
                   : dates  ? FieldType::Date
                            : FieldType::Text;
        table.AddField(def);
    }
    ProgressReporter progress(QStringLiteral("Loading \"%1\"").arg(path),
                              static_cast<qint64>(records.size()) - 1);
    for (size_t r = 1; r < records.size(); ++r) {
        progress.Advance(static_cast<qint64>(r));
        for (size_t c = 0; c < width; ++c) {
            const CsvCell& cell = records[r][c];
            Column& column = table.Col(static_cast<int>(c));
            if (cell.text.isEmpty() && !cell.quoted && column.Type() != FieldType::Text) {
                column.AppendNull();
                continue;
            }
            if (cell.text.isEmpty() && !cell.quoted) {
                column.AppendNull();
                continue;
            }
            switch (column.Type()) {
            case FieldType::Text:
                column.AppendText({cell.text.constData(), static_cast<size_t>(cell.text.size())});
                break;
            case FieldType::Integer:
                column.AppendInt(cell.text.toLongLong());
                break;
            case FieldType::Float:
                column.AppendFloat(cell.text.toDouble());
                break;
            case FieldType::Boolean:
                column.AppendInt(*AsBool(cell.text) ? 1 : 0);
                break;
            case FieldType::Date:
                column.AppendInt(
                    QDate::fromString(QString::fromLatin1(cell.text), Qt::ISODate).toJulianDay());
                break;
            }
        }
    }
    table.AdoptAppendedColumns();
    return table;
}

} // namespace host::io
