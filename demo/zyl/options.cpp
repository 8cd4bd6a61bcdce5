#include "demo/zyl/options.h"

#include <QCommandLineParser>

namespace zyl {

bool IsDatabaseUrl(const QString& data)
{
    return data.startsWith(QLatin1String("postgresql://")) ||
           data.startsWith(QLatin1String("postgres://")) ||
           data.startsWith(QLatin1String("sqlite:"));
}

Options ParseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens the touch-screen search over a data set and prints the outcome as one line of "
        "JSON.\nExit status: 0 confirmed, 1 cancelled, 2 error, 3 the keys script ended with "
        "the dialog open and no display."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption data(
        QStringLiteral("data"),
        QStringLiteral("SQLite database or CSV file to search (default: the bundled sample.db "
                       "beside the program), or a database URL, postgresql://... or sqlite:PATH, "
                       "searched live."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption table(
        QStringLiteral("table"),
        QStringLiteral(
            "Table of the SQLite database or database URL (needed when it holds several)."),
        QStringLiteral("NAME"));
    const QCommandLineOption copy(
        QStringLiteral("copy"),
        QStringLiteral("Reads the database URL's table into memory instead of searching it live."));
    const QCommandLineOption order(
        QStringLiteral("order"),
        QStringLiteral("Fields a live database's records are ordered by, separated by commas "
                       "(default: the primary key)."),
        QStringLiteral("FIELD,..."));
    const QCommandLineOption caseInsensitive(
        QStringLiteral("case-insensitive"),
        QStringLiteral(
            "Text comparisons and the search ignore ASCII case (for data in mixed case)."));
    const QCommandLineOption ignoreAccents(
        QStringLiteral("ignore-accents"),
        QStringLiteral("Text comparisons and the search set accents aside (\"João\" is found "
                       "by JOAO; the screen's \"ç\" finds \"c\", \"ç\" and \"Ç\")."));
    const QCommandLineOption createIndexes(
        QStringLiteral("create-indexes"),
        QStringLiteral(
            "Creates the indexes a live search needs on the visible text fields (the one "
            "thing zyl writes to a database)."));
    const QCommandLineOption statementTimeout(
        QStringLiteral("statement-timeout"),
        QStringLiteral("How long a live search waits on a server before it tries the URL's "
                       "other servers (default 1000)."),
        QStringLiteral("MS"));
    const QCommandLineOption copyTimeout(
        QStringLiteral("copy-timeout"),
        QStringLiteral("How long a copy's query may run on PostgreSQL (default 60000)."),
        QStringLiteral("MS"));
    const QCommandLineOption localCopy(
        QStringLiteral("local-copy"),
        QStringLiteral("Keeps an SQLite copy of the live table there, searched when no server "
                       "answers."),
        QStringLiteral("PATH"));
    const QCommandLineOption localCopyAge(
        QStringLiteral("local-copy-age"),
        QStringLiteral("Writes the local copy again when it is older than this (default 3600)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption hide(QStringLiteral("hide"),
                                  QStringLiteral("Fields to make invisible, separated by commas."),
                                  QStringLiteral("FIELD,..."));
    const QCommandLineOption searchFields(
        QStringLiteral("search-fields"),
        QStringLiteral("Fields searched beside the search column, separated by commas (a "
                       "phone, a tax id, a code); each must be a visible field."),
        QStringLiteral("FIELD,..."));
    const QCommandLineOption words(
        QStringLiteral("words"),
        QStringLiteral("The words typed may come in any order: each must begin a word of a "
                       "searched field (after \"%\": stand anywhere in one)."));
    const QCommandLineOption exactFirst(
        QStringLiteral("exact-first"),
        QStringLiteral("After each key the cursor goes to the first record whose searched "
                       "field equals the text typed (a scanned code before longer ones)."));
    const QCommandLineOption filter(QStringLiteral("filter"),
                                    QStringLiteral("The dataset's filter text before the search."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption filtered(
        QStringLiteral("filtered"),
        QStringLiteral("Switches the dataset's filter on before the search."));
    const QCommandLineOption limpaFiltro(
        QStringLiteral("limpa-filtro"),
        QStringLiteral("LimpaFiltro argument (\"S\" clears the filter text)."),
        QStringLiteral("TEXT"));
    const QCommandLineOption texto(
        QStringLiteral("texto"), QStringLiteral("TextoAuxiliar argument."), QStringLiteral("TEXT"));
    const QCommandLineOption semMenuFiscal(QStringLiteral("sem-menu-fiscal"),
                                           QStringLiteral("Suppresses the F1 fiscal menu."));
    const QCommandLineOption keys(
        QStringLiteral("keys"),
        QStringLiteral("Keys script played into the dialog once it shows: "
                       "characters, {Enter} {Esc} {Shift+Name} {Ctrl+Name} "
                       "{Alt+Name}, [component], [title:N], [row:N], [dbl:N], "
                       "[wheel:D], <shot:FILE>; {{ [[ << type { [ <."),
        QStringLiteral("SCRIPT"));
    const QCommandLineOption title(QStringLiteral("title"),
                                   QStringLiteral("The application's title (the window caption)."),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption noPause(
        QStringLiteral("no-pause"),
        QStringLiteral("Skips the search's one-second pauses (for tests "
                       "and benchmarks; a person should leave them)."));
    const QCommandLineOption layout(
        QStringLiteral("layout"),
        QStringLiteral("Once the window is drawn, writes \"zyl: layout JSON\" to standard error: "
                       "the window's id and the boxes of its components and visible grid rows "
                       "(for programs that drive it with a real pointer)."));
    const QCommandLineOption control(
        QStringLiteral("control"),
        QStringLiteral("While the dialog runs, reads commands from standard input, one a line: "
                       "\"grab FILE\" writes a PNG of the window drawn afresh and answers "
                       "\"zyl: grabbed JSON\" on standard error with the rows in the grid's view "
                       "as the dataset holds them (for programs that check what the screen "
                       "shows)."));
    parser.addOptions({help,          data,          table,
                       copy,          order,         caseInsensitive,
                       ignoreAccents, createIndexes, statementTimeout,
                       copyTimeout,   localCopy,     localCopyAge,
                       hide,          searchFields,  words,
                       exactFirst,    filter,        filtered,
                       limpaFiltro,   texto,         semMenuFiscal,
                       keys,          title,         noPause,
                       layout,        control});

    if (!parser.parse(arguments)) {
        throw OptionsError(parser.errorText().toStdString());
    }
    if (!parser.positionalArguments().isEmpty()) {
        throw OptionsError(QStringLiteral("unexpected argument \"%1\"")
                               .arg(parser.positionalArguments().constFirst())
                               .toStdString());
    }
    const auto single = [&parser](const QCommandLineOption& option) {
        const QStringList values = parser.values(option);
        if (values.size() > 1) {
            throw OptionsError(QStringLiteral("--%1 given more than once")
                                   .arg(option.names().constLast())
                                   .toStdString());
        }
        return values.isEmpty() ? QString() : values.constFirst();
    };

    Options options;
    options.help = parser.isSet(help);
    options.helpText = parser.helpText();
    options.data = single(data);
    if (parser.isSet(data) && options.data.isEmpty()) {
        throw OptionsError("--data needs a file name");
    }
    options.table = single(table);
    if (parser.isSet(table) && options.table.isEmpty()) {
        throw OptionsError("--table needs a table name");
    }
    const auto fieldList = [&parser](const QCommandLineOption& option) {
        QStringList fields;
        for (const QString& value : parser.values(option)) {
            for (const QString& field : value.split(QLatin1Char(','))) {
                const QString name = field.trimmed();
                if (name.isEmpty()) {
                    throw OptionsError(QStringLiteral("--%1 \"%2\" holds an empty field name")
                                           .arg(option.names().constLast(), value)
                                           .toStdString());
                }
                fields.append(name);
            }
        }
        return fields;
    };
    options.hide = fieldList(hide);
    options.searchFields = fieldList(searchFields);
    options.words = parser.isSet(words);
    options.exactFirst = parser.isSet(exactFirst);
    options.copy = parser.isSet(copy);
    options.order = fieldList(order);
    options.caseInsensitive = parser.isSet(caseInsensitive);
    options.ignoreAccents = parser.isSet(ignoreAccents);
    options.createIndexes = parser.isSet(createIndexes);
    const auto number = [&](const QCommandLineOption& option, int fallback) {
        const QString text = single(option);
        if (text.isEmpty()) {
            return fallback;
        }
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value <= 0) {
            throw OptionsError(QStringLiteral("--%1 \"%2\" is not a positive whole number")
                                   .arg(option.names().constLast(), text)
                                   .toStdString());
        }
        return value;
    };
    options.statementTimeoutMs = number(statementTimeout, 0);
    options.copyTimeoutMs = number(copyTimeout, 0);
    options.localCopy = single(localCopy);
    options.localCopyAge = number(localCopyAge, 3600);
    // What only a database URL can take, and what only its live search can.
    const bool url = IsDatabaseUrl(options.data);
    const auto refuse = [](const char* message) { throw OptionsError(message); };
    if (options.copy && !url)
        refuse("--copy reads a database URL (postgresql://... or sqlite:PATH) given with --data");
    if (!url || options.copy) {
        if (!options.order.isEmpty())
            refuse("--order applies to a database URL searched live (--data URL without --copy)");
        if (options.createIndexes)
            refuse("--create-indexes applies to a database URL searched live (--data URL without "
                   "--copy)");
        if (!options.localCopy.isEmpty())
            refuse("--local-copy applies to a database URL searched live (--data URL without "
                   "--copy)");
    }
    if (parser.isSet(filter)) {
        options.filter = single(filter);
    }
    options.filtered = parser.isSet(filtered);
    options.limpaFiltro = single(limpaFiltro);
    options.texto = single(texto);
    options.semMenuFiscal = parser.isSet(semMenuFiscal);
    if (parser.isSet(keys)) {
        options.keys = single(keys);
    }
    if (parser.isSet(title)) {
        options.title = single(title);
    }
    options.noPause = parser.isSet(noPause);
    options.layout = parser.isSet(layout);
    options.control = parser.isSet(control);
    return options;
}

} // namespace zyl
