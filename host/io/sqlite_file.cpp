#include "host/app/progress_reporter.h"
#include "host/io/dataset_file.h"
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

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

QString Utf8(const unsigned char* text)
{
    return text == nullptr ? QString() : QString::fromUtf8(reinterpret_cast<const char*>(text));
}

QString QuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

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
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        FileError(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    }

    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                           "'sqlite_%' ORDER BY rowid",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        FileError(path, QString::fromUtf8(sqlite3_errmsg(db.get())));
    }
    Stmt tables(stmt);
    QStringList names;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(tables.get())) == SQLITE_ROW) {
        names << Utf8(sqlite3_column_text(tables.get(), 0));
    }
    if (step != SQLITE_DONE) {
        FileError(path, QString::fromUtf8(sqlite3_errmsg(db.get())));
    }
    if (names.isEmpty()) {
        FileError(path, QStringLiteral("the database holds no table"));
    }
    if (names.size() > 1) {
        FileError(path, QStringLiteral("the database holds %1 tables (%2); expected one")
                            .arg(names.size())
                            .arg(names.join(QStringLiteral(", "))));
    }
    const QString tableName = names.front();

    Table table;
    table.tableName = tableName;
    const QByteArray select = ("SELECT * FROM " + QuoteIdentifier(tableName)).toUtf8();
    if (sqlite3_prepare_v2(db.get(), select.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        FileError(path, QString::fromUtf8(sqlite3_errmsg(db.get())));
    }
    Stmt rows(stmt);
    const int columns = sqlite3_column_count(rows.get());
    for (int c = 0; c < columns; ++c) {
        const char* declared = sqlite3_column_decltype(rows.get(), c);
        const QString name = QString::fromUtf8(sqlite3_column_name(rows.get(), c));
        CheckFileFieldName(path, name, c + 1);
        if (table.FindField(name) >= 0) {
            FileError(path, QStringLiteral("field \"%1\" appears twice").arg(name));
        }
        table.AddField(DefFromDeclared(name, QString::fromUtf8(declared ? declared : "")));
    }

    std::int64_t recordNo = 0;
    ProgressReporter progress(QStringLiteral("Loading \"%1\"").arg(path), -1);
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        progress.Advance(++recordNo);
        // Values go straight into the columns; a bad one is reported with its place.
        for (int c = 0; c < columns; ++c) {
            const FieldDef& def = table.Def(c);
            Column& column = table.Col(c);
            const int type = sqlite3_column_type(rows.get(), c);
            if (type == SQLITE_NULL) {
                column.AppendNull();
                continue;
            }
            const auto where = [recordNo] { return QStringLiteral(" in record %1").arg(recordNo); };
            if (def.binary) {
                column.AppendText(BinaryText(sqlite3_column_bytes(rows.get(), c)));
                continue;
            }
            switch (def.type) {
            case FieldType::Text: {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), c));
                const auto bytes = static_cast<size_t>(sqlite3_column_bytes(rows.get(), c));
                const std::string_view value(text ? text : "", bytes);
                if (value.find('\0') != std::string_view::npos) {
                    FileError(
                        path,
                        QStringLiteral("field \"%1\"%2 holds a NUL byte").arg(def.name, where()));
                }
                if (!IsValidUtf8(value)) {
                    FileError(
                        path,
                        QStringLiteral("field \"%1\"%2 is not UTF-8 text").arg(def.name, where()));
                }
                if (def.size > 0 && Utf8Length(value) > def.size) {
                    FileError(path, QStringLiteral("field \"%1\"%2 is longer than %3 characters")
                                        .arg(def.name, where())
                                        .arg(def.size));
                }
                column.AppendText(value);
                break;
            }
            case FieldType::Integer:
                if (type == SQLITE_INTEGER) {
                    column.AppendInt(sqlite3_column_int64(rows.get(), c));
                    break;
                }
                [[fallthrough]];
            case FieldType::Boolean:
            case FieldType::Date:
            case FieldType::Float: {
                if (def.type == FieldType::Float &&
                    (type == SQLITE_FLOAT || type == SQLITE_INTEGER)) {
                    column.AppendFloat(sqlite3_column_double(rows.get(), c));
                    break;
                }
                if (def.type == FieldType::Boolean && type == SQLITE_INTEGER) {
                    const std::int64_t v = sqlite3_column_int64(rows.get(), c);
                    if (v == 0 || v == 1) {
                        column.AppendInt(v);
                        break;
                    }
                }
                QVariant value;
                if (type == SQLITE_INTEGER) {
                    value = QVariant::fromValue<qlonglong>(sqlite3_column_int64(rows.get(), c));
                } else if (type == SQLITE_FLOAT) {
                    value = sqlite3_column_double(rows.get(), c);
                } else {
                    value = Utf8(sqlite3_column_text(rows.get(), c));
                }
                try {
                    const CellValue cell = ConvertCell(def, value, where());
                    if (def.type == FieldType::Float) {
                        column.AppendFloat(cell.d);
                    } else {
                        column.AppendInt(cell.i);
                    }
                } catch (const DatasetError& error) {
                    FileError(path, error.Message());
                }
                break;
            }
            }
        }
    }
    if (step != SQLITE_DONE) {
        FileError(path, QString::fromUtf8(sqlite3_errmsg(db.get())));
    }
    table.AdoptAppendedColumns();
    return table;
}

void SaveTable(const Table& table, const QString& path)
{
    const QString temporary = path + QStringLiteral(".saving");
    QFile::remove(temporary);
    const auto fail = [&](const QString& reason) {
        QFile::remove(temporary);
        throw DatasetError(QStringLiteral("Cannot write \"%1\": %2").arg(path, reason));
    };
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(temporary).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        const QString reason = QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        db.reset();
        fail(reason);
    }
    const auto exec = [&](const QByteArray& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db.get(), sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString reason = QString::fromUtf8(message ? message : "SQL error");
            sqlite3_free(message);
            db.reset();
            fail(reason);
        }
    };
    const QString name = table.tableName.isEmpty() ? QStringLiteral("dados") : table.tableName;
    QStringList columns;
    QStringList marks;
    for (int f = 0; f < table.FieldCount(); ++f) {
        const FieldDef& def = table.Def(f);
        QString type;
        switch (def.type) {
        case FieldType::Text:
            type =
                def.size > 0 ? QStringLiteral("VARCHAR(%1)").arg(def.size) : QStringLiteral("TEXT");
            break;
        case FieldType::Integer:
            type = QStringLiteral("INTEGER");
            break;
        case FieldType::Float:
            type = QStringLiteral("REAL");
            break;
        case FieldType::Boolean:
            type = QStringLiteral("BOOLEAN");
            break;
        case FieldType::Date:
            type = QStringLiteral("DATE");
            break;
        }
        columns << QuoteIdentifier(def.name) + u' ' + type;
        marks << QStringLiteral("?");
    }
    exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
    exec(("CREATE TABLE " + QuoteIdentifier(name) + " (" + columns.join(QStringLiteral(", ")) + ")")
             .toUtf8());
    sqlite3_stmt* stmt = nullptr;
    const QByteArray insert =
        ("INSERT INTO " + QuoteIdentifier(name) + " VALUES (" + marks.join(u',') + ")").toUtf8();
    if (sqlite3_prepare_v2(db.get(), insert.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(db.get()));
        db.reset();
        fail(reason);
    }
    Stmt insertRow(stmt);
    char buffer[kTextFormBuffer];
    for (std::uint32_t rec = 0; rec < table.RecordCount(); ++rec) {
        for (int f = 0; f < table.FieldCount(); ++f) {
            const Column& column = table.Col(f);
            const int slot = f + 1;
            if (column.IsNull(rec)) {
                sqlite3_bind_null(insertRow.get(), slot);
                continue;
            }
            switch (column.Type()) {
            case FieldType::Text: {
                const std::string_view text = column.Text(rec);
                sqlite3_bind_text(insertRow.get(), slot, text.data(), static_cast<int>(text.size()),
                                  SQLITE_STATIC);
                break;
            }
            case FieldType::Integer:
            case FieldType::Boolean:
                sqlite3_bind_int64(insertRow.get(), slot, column.Int(rec));
                break;
            case FieldType::Float:
                sqlite3_bind_double(insertRow.get(), slot, column.Float(rec));
                break;
            case FieldType::Date: {
                const std::string_view text = DateText(column.Int(rec), buffer);
                sqlite3_bind_text(insertRow.get(), slot, text.data(), static_cast<int>(text.size()),
                                  SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (sqlite3_step(insertRow.get()) != SQLITE_DONE) {
            const QString reason = QString::fromUtf8(sqlite3_errmsg(db.get()));
            insertRow.reset();
            db.reset();
            fail(reason);
        }
        sqlite3_reset(insertRow.get());
    }
    insertRow.reset();
    exec("COMMIT");
    if (sqlite3_close_v2(db.release()) != SQLITE_OK) {
        fail(QStringLiteral("closing the database failed"));
    }
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        fail(QStringLiteral("the file cannot be replaced"));
    }
}

Table LoadTable(const QString& path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        return LoadCsvTable(path);
    }
    return LoadSqliteTable(path);
}

} // namespace host::io
