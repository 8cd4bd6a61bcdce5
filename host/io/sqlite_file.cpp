#include "host/app/progress_reporter.h"
#include "host/io/dataset_file.h"
#include "host/io/sqlite_reader.h"
#include "host/text/text_form.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <touchsearch/dataset_error.h>

namespace host::io {

namespace {

[[noreturn]] void FileError(const QString& path, const QString& reason)
{
    throw DatasetError(QStringLiteral("Cannot read \"%1\": %2").arg(path, reason));
}

QString QuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// The name of the one table the file holds.
QString OnlyTable(SqliteReader& reader, const QString& path)
{
    QStringList names;
    if (!reader.ReadStrings(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                           "AND name NOT LIKE 'sqlite_%' ORDER BY rowid"),
                            names)) {
        FileError(path, reader.ErrorString());
    }
    if (names.isEmpty()) {
        FileError(path, QStringLiteral("the database holds no table"));
    }
    if (names.size() > 1) {
        FileError(path, QStringLiteral("the database holds %1 tables (%2); expected one")
                            .arg(names.size())
                            .arg(names.join(QStringLiteral(", "))));
    }
    return names.front();
}

void AddFields(Table& table, const SqliteReader& reader, const QString& path)
{
    for (int c = 0; c < reader.ColumnCount(); ++c) {
        const QString name = reader.ColumnName(c);
        CheckFileFieldName(path, name, c + 1);
        if (table.FindField(name) >= 0) {
            FileError(path, QStringLiteral("field \"%1\" appears twice").arg(name));
        }
        table.AddField(DefFromDeclared(name, reader.DeclaredType(c)));
    }
}

QString Where(std::int64_t recordNo)
{
    return QStringLiteral(" in record %1").arg(recordNo);
}

void AppendText(Column& column, const FieldDef& def, std::string_view value, const QString& path,
                std::int64_t recordNo)
{
    if (value.find('\0') != std::string_view::npos) {
        FileError(path,
                  QStringLiteral("field \"%1\"%2 holds a NUL byte").arg(def.name, Where(recordNo)));
    }
    if (!IsValidUtf8(value)) {
        FileError(
            path,
            QStringLiteral("field \"%1\"%2 is not UTF-8 text").arg(def.name, Where(recordNo)));
    }
    if (def.size > 0 && Utf8Length(value) > def.size) {
        FileError(path, QStringLiteral("field \"%1\"%2 is longer than %3 characters")
                            .arg(def.name, Where(recordNo))
                            .arg(def.size));
    }
    column.AppendText(value);
}

// A number, boolean or date: SQLite's own number where it is one the field holds, else
// converted (and refused) as a value read from text is.
void AppendOther(Column& column, const FieldDef& def, const SqliteReader& reader, int c,
                 const QString& path, std::int64_t recordNo)
{
    const SqliteValue type = reader.Type(c);
    if (def.type == FieldType::Integer && type == SqliteValue::Integer) {
        column.AppendInt(reader.Integer(c));
        return;
    }
    if (def.type == FieldType::Float &&
        (type == SqliteValue::Float || type == SqliteValue::Integer)) {
        column.AppendFloat(reader.Float(c));
        return;
    }
    if (def.type == FieldType::Boolean && type == SqliteValue::Integer) {
        const std::int64_t v = reader.Integer(c);
        if (v == 0 || v == 1) {
            column.AppendInt(v);
            return;
        }
    }
    QVariant value;
    if (type == SqliteValue::Integer) {
        value = QVariant::fromValue<qlonglong>(reader.Integer(c));
    } else if (type == SqliteValue::Float) {
        value = reader.Float(c);
    } else {
        value = QString::fromUtf8(reader.Text(c).data());
    }
    try {
        const CellValue cell = ConvertCell(def, value, Where(recordNo));
        if (def.type == FieldType::Float) {
            column.AppendFloat(cell.d);
        } else {
            column.AppendInt(cell.i);
        }
    } catch (const DatasetError& error) {
        FileError(path, error.Message());
    }
}

// Values go straight into the columns; a bad one is refused naming its place.
void AppendValue(Table& table, const SqliteReader& reader, int c, const QString& path,
                 std::int64_t recordNo)
{
    const FieldDef& def = table.Def(c);
    Column& column = table.Col(c);
    if (reader.Type(c) == SqliteValue::Null) {
        column.AppendNull();
    } else if (def.binary) {
        column.AppendText(BinaryText(reader.Bytes(c)));
    } else if (def.type == FieldType::Text) {
        AppendText(column, def, reader.Text(c), path, recordNo);
    } else {
        AppendOther(column, def, reader, c, path, recordNo);
    }
}

QString DeclaredType(const FieldDef& def)
{
    switch (def.type) {
    case FieldType::Text:
        return def.size > 0 ? QStringLiteral("VARCHAR(%1)").arg(def.size) : QStringLiteral("TEXT");
    case FieldType::Integer:
        return QStringLiteral("INTEGER");
    case FieldType::Float:
        return QStringLiteral("REAL");
    case FieldType::Boolean:
        return QStringLiteral("BOOLEAN");
    case FieldType::Date:
        return QStringLiteral("DATE");
    }
    return {};
}

void BindValue(sqlite3_stmt* insert, const Column& column, std::uint32_t rec, int slot,
               char (&buffer)[kTextFormBuffer])
{
    if (column.IsNull(rec)) {
        sqlite3_bind_null(insert, slot);
        return;
    }
    switch (column.Type()) {
    case FieldType::Text: {
        const std::string_view text = column.Text(rec);
        sqlite3_bind_text(insert, slot, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        break;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
        sqlite3_bind_int64(insert, slot, column.Int(rec));
        break;
    case FieldType::Float:
        sqlite3_bind_double(insert, slot, column.Float(rec));
        break;
    case FieldType::Date: {
        const std::string_view text = DateText(column.Int(rec), buffer);
        sqlite3_bind_text(insert, slot, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        break;
    }
    }
}

// Writes a new database into a temporary file beside the target and renames it over the
// target; a failure removes the temporary file and raises naming the target.
class SqliteFileWriter {
public:
    explicit SqliteFileWriter(const QString& path)
        : m_path(path), m_temporary(path + QStringLiteral(".saving"))
    {
        QFile::remove(m_temporary);
    }

    [[noreturn]] void Fail(const QString& reason)
    {
        m_insert.reset();
        m_db.reset();
        QFile::remove(m_temporary);
        throw DatasetError(QStringLiteral("Cannot write \"%1\": %2").arg(m_path, reason));
    }

    void Open()
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(m_temporary).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        m_db.reset(raw);
        if (rc != SQLITE_OK) {
            Fail(QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
        }
    }

    void Exec(const QByteArray& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db.get(), sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString reason = QString::fromUtf8(message ? message : "SQL error");
            sqlite3_free(message);
            Fail(reason);
        }
    }

    void Insert(const QByteArray& insert, const Table& table)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db.get(), insert.constData(), -1, &statement, nullptr) !=
            SQLITE_OK) {
            Fail(QString::fromUtf8(sqlite3_errmsg(m_db.get())));
        }
        m_insert.reset(statement);
        char buffer[kTextFormBuffer];
        for (std::uint32_t rec = 0; rec < table.RecordCount(); ++rec) {
            for (int f = 0; f < table.FieldCount(); ++f) {
                BindValue(m_insert.get(), table.Col(f), rec, f + 1, buffer);
            }
            if (sqlite3_step(m_insert.get()) != SQLITE_DONE) {
                Fail(QString::fromUtf8(sqlite3_errmsg(m_db.get())));
            }
            sqlite3_reset(m_insert.get());
        }
        m_insert.reset();
    }

    void Finish()
    {
        if (sqlite3_close_v2(m_db.release()) != SQLITE_OK) {
            Fail(QStringLiteral("closing the database failed"));
        }
        if (std::rename(QFile::encodeName(m_temporary).constData(),
                        QFile::encodeName(m_path).constData()) != 0) {
            Fail(QStringLiteral("the file cannot be replaced"));
        }
    }

private:
    QString m_path;
    QString m_temporary;
    SqliteConnection m_db;
    SqliteStatement m_insert;
};

} // namespace

FieldDef DefFromDeclared(const QString& name, const QString& declared)
{
    FieldDef def;
    def.name = name;
    const QString type = declared.trimmed().toUpper();
    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)"));
    if (type.contains(QLatin1String("BLOB"))) {
        def.type = FieldType::Text; // bytes, shown as what they are
        def.binary = true;
    } else if (type.startsWith(QLatin1String("BOOL")) || type == QLatin1String("BIT")) {
        def.type = FieldType::Boolean;
    } else if (type == QLatin1String("DATE")) {
        def.type = FieldType::Date;
    } else if (type.contains(QLatin1String("INT"))) {
        def.type = FieldType::Integer;
    } else if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB")) ||
               type.contains(QLatin1String("TEXT"))) {
        def.type = FieldType::Text;
        const QRegularExpressionMatch m = sized.match(type);
        def.size = m.hasMatch() ? m.captured(1).toInt() : 0;
    } else if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
               type.contains(QLatin1String("DOUB")) || type.startsWith(QLatin1String("NUMERIC")) ||
               type.startsWith(QLatin1String("DECIMAL"))) {
        def.type = FieldType::Float;
    } else {
        def.type = FieldType::Text;
    }
    return def;
}

Table LoadSqliteTable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        FileError(path, QStringLiteral("the file does not exist"));
    }
    if (!info.isFile()) {
        FileError(path, QStringLiteral("it is not a file"));
    }
    SqliteReader reader;
    if (!reader.Open(path)) {
        FileError(path, reader.ErrorString());
    }
    Table table;
    table.tableName = OnlyTable(reader, path);
    if (!reader.Prepare(QStringLiteral("SELECT * FROM ") + QuoteIdentifier(table.tableName))) {
        FileError(path, reader.ErrorString());
    }
    AddFields(table, reader, path);
    std::int64_t recordNo = 0;
    ProgressReporter progress(QStringLiteral("Loading \"%1\"").arg(path), -1);
    while (reader.Next()) {
        progress.Advance(++recordNo);
        for (int c = 0; c < table.FieldCount(); ++c) {
            AppendValue(table, reader, c, path, recordNo);
        }
    }
    if (reader.Failed()) {
        FileError(path, reader.ErrorString());
    }
    table.AdoptAppendedColumns();
    return table;
}

void SaveTable(const Table& table, const QString& path)
{
    SqliteFileWriter writer(path);
    writer.Open();
    const QString name = table.tableName.isEmpty() ? QStringLiteral("dados") : table.tableName;
    QStringList columns;
    QStringList marks;
    for (int f = 0; f < table.FieldCount(); ++f) {
        columns << QuoteIdentifier(table.Def(f).name) + u' ' + DeclaredType(table.Def(f));
        marks << QStringLiteral("?");
    }
    writer.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
    writer.Exec(
        ("CREATE TABLE " + QuoteIdentifier(name) + " (" + columns.join(QStringLiteral(", ")) + ")")
            .toUtf8());
    writer.Insert(
        ("INSERT INTO " + QuoteIdentifier(name) + " VALUES (" + marks.join(u',') + ")").toUtf8(),
        table);
    writer.Exec("COMMIT");
    writer.Finish();
}

Table LoadTable(const QString& path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        return LoadCsvTable(path);
    }
    return LoadSqliteTable(path);
}

} // namespace host::io
