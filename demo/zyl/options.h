#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

namespace zyl {

// zyl's command line.
struct Options {
    QString data;                  // --data FILE|URL; empty: the bundled sample beside the program
    QString table;                 // --table NAME
    bool copy = false;             // --copy: a database's table read into memory
    QStringList order;             // --order FIELD,... (live database)
    bool caseInsensitive = false;  // --case-insensitive
    bool ignoreAccents = false;    // --ignore-accents
    bool createIndexes = false;    // --create-indexes (live database)
    int statementTimeoutMs = 0;    // --statement-timeout MS (live database; 0: the default)
    int copyTimeoutMs = 0;         // --copy-timeout MS (0: the default)
    QString localCopy;             // --local-copy PATH (live database)
    int localCopyAge = 3600;       // --local-copy-age SECONDS
    QStringList hide;              // --hide FIELD,...
    QStringList searchFields;      // --search-fields FIELD,...
    bool words = false;            // --words
    bool exactFirst = false;       // --exact-first
    std::optional<QString> filter; // --filter TEXT
    bool filtered = false;         // --filtered
    QString limpaFiltro;           // --limpa-filtro TEXT
    QString texto;                 // --texto TEXT
    bool semMenuFiscal = false;    // --sem-menu-fiscal
    std::optional<QString> keys;   // --keys SCRIPT
    std::optional<QString> title;  // --title TEXT
    bool noPause = false;          // --no-pause
    bool layout = false;           // --layout
    bool control = false;          // --control
    bool help = false;
    QString helpText;
};

class OptionsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True for a database URL (postgresql://…, postgres://…, sqlite:PATH) rather than a file.
bool IsDatabaseUrl(const QString& data);

// Parses the arguments (the program name first); raises OptionsError for a bad one.
Options ParseOptions(const QStringList& arguments);

} // namespace zyl
