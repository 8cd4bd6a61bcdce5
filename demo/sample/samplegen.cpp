// Writes a deterministic list of customers with Portuguese names into an SQLite file or
// a PostgreSQL database: table "clientes" (CODIGO, NMCLIENTE, CIDADE, UF, ATIVO, LIMITE,
// FONE, CPF). The same count and seed always give the same records.
#include "demo/progress/progress_line.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <libpq-fe.h>
#include <memory>
#include <sqlite3.h>

namespace {

// splitmix64: small, fast and the same on every platform and compiler.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    template <class T, size_t N> const T& Pick(const T (&items)[N])
    {
        return items[Below(static_cast<int>(N))];
    }

private:
    std::uint64_t m_state;
};

const char* const kFirstNames[] = {
    "João",      "Joao",      "José",      "Jose",    "Maria",     "Ana",       "Antônio",
    "Antonio",   "Francisco", "Carlos",    "Paulo",   "Pedro",     "Lucas",     "Luiz",
    "Marcos",    "Luís",      "Gabriel",   "Rafael",  "Daniel",    "Marcelo",   "Bruno",
    "Eduardo",   "Felipe",    "Raimundo",  "Rodrigo", "Manoel",    "Mateus",    "André",
    "Fernando",  "Fábio",     "Leonardo",  "Gustavo", "Guilherme", "Leandro",   "Tiago",
    "Anderson",  "Ricardo",   "Márcio",    "Jorge",   "Sebastião", "Alexandre", "Roberto",
    "Édson",     "Diego",     "Vitor",     "Sérgio",  "Cláudio",   "Joaquim",   "Thiago",
    "Conceição", "Francisca", "Antônia",   "Adriana", "Juliana",   "Márcia",    "Fernanda",
    "Patrícia",  "Aline",     "Sandra",    "Camila",  "Amanda",    "Bruna",     "Jéssica",
    "Letícia",   "Júlia",     "Luciana",   "Vanessa", "Mariana",   "Gabriela",  "Vera",
    "Vitória",   "Larissa",   "Cláudia",   "Beatriz", "Luana",     "Rita",      "Sônia",
    "Renata",    "Eliane",    "Josefa",    "Simone",  "Natália",   "Cristiane", "Carla",
    "Débora",    "Rosângela", "Jaqueline", "Rosa",    "Daniela",   "Aparecida", "Marlene",
    "Terezinha", "Raimunda",  "Andréia",   "Fabiana", "Lúcia",     "Raquel",    "Ângela",
    "Rafaela",   "Joana",     "Inês",      "Irene"};

const char* const kSurnames[] = {
    "Silva",    "Santos",     "Oliveira",   "Souza",     "Rodrigues",   "Ferreira",  "Alves",
    "Pereira",  "Lima",       "Gomes",      "Costa",     "Ribeiro",     "Martins",   "Carvalho",
    "Almeida",  "Lopes",      "Soares",     "Fernandes", "Vieira",      "Barbosa",   "Rocha",
    "Dias",     "Nascimento", "Andrade",    "Moreira",   "Nunes",       "Marques",   "Machado",
    "Mendes",   "Freitas",    "Cardoso",    "Ramos",     "Gonçalves",   "Santana",   "Teixeira",
    "Araújo",   "Conceição",  "Magalhães",  "Falcão",    "Brandão",     "Guimarães", "Simões",
    "Assunção", "Estêvão",    "Peixoto",    "Medeiros",  "Monteiro",    "Correia",   "Cavalcanti",
    "Pinto",    "Batista",    "Campos",     "Azevedo",   "Moura",       "Fonseca",   "Barros",
    "Castro",   "Rezende",    "Figueiredo", "Sampaio",   "Leão",        "Aragão",    "Galvão",
    "Bezerra",  "Siqueira",   "Xavier",     "Queiroz",   "Vasconcelos", "D'Ávila",   "Noronha"};

const char* const kParticles[] = {"da", "de", "dos", "das", "do"};

struct City {
    const char* name;
    const char* uf;
};
const City kCities[] = {
    {"São Paulo", "SP"},     {"Rio de Janeiro", "RJ"}, {"Belo Horizonte", "MG"},
    {"Brasília", "DF"},      {"Salvador", "BA"},       {"Fortaleza", "CE"},
    {"Curitiba", "PR"},      {"Manaus", "AM"},         {"Recife", "PE"},
    {"Porto Alegre", "RS"},  {"Belém", "PA"},          {"Goiânia", "GO"},
    {"São Luís", "MA"},      {"Maceió", "AL"},         {"Natal", "RN"},
    {"Teresina", "PI"},      {"João Pessoa", "PB"},    {"Aracaju", "SE"},
    {"Cuiabá", "MT"},        {"Florianópolis", "SC"},  {"Vitória", "ES"},
    {"Campinas", "SP"},      {"Ribeirão Preto", "SP"}, {"Uberlândia", "MG"},
    {"Londrina", "PR"},      {"Joinville", "SC"},      {"Feira de Santana", "BA"},
    {"Juiz de Fora", "MG"},  {"Santarém", "PA"},       {"Macapá", "AP"},
    {"Palmas", "TO"},        {"Boa Vista", "RR"},      {"Porto Velho", "RO"},
    {"Rio Branco", "AC"},    {"Campo Grande", "MS"},   {"Mossoró", "RN"},
    {"Caxias do Sul", "RS"}, {"Niterói", "RJ"},        {"Petrópolis", "RJ"},
    {"Foz do Iguaçu", "PR"}};

// Capitals as an old system typed them: Latin-1 letters only (à..þ to À..Þ).
QString Capitals(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
            c = QChar(static_cast<char16_t>(u - 0x20));
        }
    }
    return out;
}

QString MakeName(Random& random)
{
    QString name = QString::fromUtf8(random.Pick(kFirstNames));
    if (random.Below(4) == 0) {
        name += u' ' + QString::fromUtf8(random.Pick(kFirstNames));
    }
    const int surnames = 1 + random.Below(3);
    for (int s = 0; s < surnames; ++s) {
        if (random.Below(3) == 0) {
            name += u' ' + QString::fromUtf8(random.Pick(kParticles));
        }
        name += u' ' + QString::fromUtf8(random.Pick(kSurnames));
    }
    if (random.Below(5) == 0) {
        name = Capitals(name);
    }
    return name.left(60);
}

// A phone number as digits only: a two-digit area code, then a mobile's 9 and eight
// digits (11 in all) or a landline's eight digits beginning with 2 to 5 (10 in all).
QByteArray MakePhone(Random& random)
{
    QByteArray phone = QByteArray::number(11 + random.Below(89));
    if (phone.endsWith('0')) {
        phone[1] = '1';
    }
    const bool mobile = random.Below(3) != 0;
    phone += mobile ? '9' : static_cast<char>('2' + random.Below(4));
    for (int i = 0; i < 8 - (mobile ? 0 : 1); ++i) {
        phone += static_cast<char>('0' + random.Below(10));
    }
    return phone;
}

// A tax id (CPF): nine digits and their two check digits, leading zeros kept.
QByteArray MakeTaxId(Random& random)
{
    QByteArray digits;
    for (int i = 0; i < 9; ++i) {
        digits += static_cast<char>('0' + random.Below(10));
    }
    for (int check = 0; check < 2; ++check) {
        int sum = 0;
        const int length = static_cast<int>(digits.size());
        for (int i = 0; i < length; ++i) {
            sum += (digits[i] - '0') * (length + 1 - i);
        }
        const int rest = (sum * 10) % 11;
        digits += static_cast<char>('0' + (rest == 10 ? 0 : rest));
    }
    return digits;
}

// One customer; city is null for a few.
struct Customer {
    qint64 code = 0;
    QByteArray name;
    const City* city = nullptr;
    const char* uf = "";
    bool active = false;
    double limit = 0;
    QByteArray phone;
    QByteArray taxId;
};

// The phone and the tax id come from a stream of their own (contacts), so that the
// other fields stay what they were before these two were added.
Customer MakeCustomer(Random& random, Random& contacts, qint64 code)
{
    Customer customer;
    customer.code = code;
    customer.name = MakeName(random).toUtf8();
    const City& city = random.Pick(kCities);
    customer.city = random.Below(100) == 0 ? nullptr : &city; // a few customers without a city
    customer.uf = city.uf;
    customer.active = random.Below(5) != 0;
    customer.limit = static_cast<double>(random.Below(1000001)) / 100.0;
    customer.phone = MakePhone(contacts);
    customer.taxId = MakeTaxId(contacts);
    return customer;
}

std::uint64_t ContactsSeed(std::uint64_t seed)
{
    return seed ^ 0xC0A7AC75C0A7AC75ULL;
}

// COPY's text form: tab, newline and backslash escaped.
void AppendCopyText(QByteArray& line, const char* text)
{
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += *c;
        }
    }
}

struct PgFinish {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};

int PgFail(const char* what, PGconn* connection)
{
    std::fprintf(
        stderr, "samplegen: %s: %s\n", what,
        QString::fromUtf8(PQerrorMessage(connection)).simplified().toLocal8Bit().constData());
    return 1;
}

bool PgExec(PGconn* connection, const char* sql, ExecStatusType expected = PGRES_COMMAND_OK)
{
    PGresult* result = PQexec(connection, sql);
    const bool ok = result != nullptr && PQresultStatus(result) == expected;
    PQclear(result);
    return ok;
}

// Replaces the table "clientes" of the database in one transaction, through COPY. The
// field names are quoted so that they keep the SQLite file's spelling.
int WritePostgreSql(const QString& uri, qint64 count, std::uint64_t seed)
{
    const std::unique_ptr<PGconn, PgFinish> connection(PQconnectdb(uri.toUtf8().constData()));
    PGconn* const pg = connection.get();
    if (PQstatus(pg) != CONNECTION_OK) {
        return PgFail("cannot connect", pg);
    }
    PQsetClientEncoding(pg, "UTF8");
    if (!PgExec(pg, "BEGIN") || !PgExec(pg, "SET LOCAL synchronous_commit = off") ||
        !PgExec(pg, "DROP TABLE IF EXISTS clientes") ||
        !PgExec(pg,
                "CREATE TABLE clientes (\"CODIGO\" INTEGER PRIMARY KEY, \"NMCLIENTE\" VARCHAR(60), "
                "\"CIDADE\" VARCHAR(40), \"UF\" CHAR(2), \"ATIVO\" BOOLEAN, \"LIMITE\" DOUBLE "
                "PRECISION, \"FONE\" VARCHAR(11), \"CPF\" VARCHAR(11))")) {
        return PgFail("cannot create the table", pg);
    }
    if (!PgExec(pg, "COPY clientes FROM STDIN", PGRES_COPY_IN)) {
        return PgFail("cannot start copying", pg);
    }
    Random random(seed);
    Random contacts(ContactsSeed(seed));
    demo::ProgressLine progress(QStringLiteral("samplegen"));
    progress.Begin(QStringLiteral("copying customers into PostgreSQL"), count);
    QByteArray chunk;
    const auto flush = [&] {
        const bool ok = PQputCopyData(pg, chunk.constData(), static_cast<int>(chunk.size())) == 1;
        chunk.clear();
        return ok;
    };
    for (qint64 code = 1; code <= count; ++code) {
        const Customer customer = MakeCustomer(random, contacts, code);
        chunk += QByteArray::number(customer.code);
        chunk += '\t';
        AppendCopyText(chunk, customer.name.constData());
        chunk += '\t';
        if (customer.city != nullptr) {
            AppendCopyText(chunk, customer.city->name);
        } else {
            chunk += "\\N";
        }
        chunk += '\t';
        chunk += customer.uf;
        chunk += customer.active ? "\tt\t" : "\tf\t";
        chunk += QByteArray::number(customer.limit, 'g', 17);
        chunk += '\t' + customer.phone + '\t' + customer.taxId + '\n';
        progress.Advance(code);
        if (chunk.size() > (1 << 20) && !flush()) {
            return PgFail("cannot copy", pg);
        }
    }
    progress.End();
    if (!flush() || PQputCopyEnd(pg, nullptr) != 1) {
        return PgFail("cannot copy", pg);
    }
    PGresult* copied = PQgetResult(pg);
    const bool ok = PQresultStatus(copied) == PGRES_COMMAND_OK;
    PQclear(copied);
    while (PGresult* rest = PQgetResult(pg)) {
        PQclear(rest);
    }
    if (!ok || !PgExec(pg, "ANALYZE clientes") || !PgExec(pg, "COMMIT")) {
        return PgFail("cannot copy", pg);
    }
    return 0;
}

int Fail(const char* what, sqlite3* db)
{
    std::fprintf(stderr, "samplegen: %s: %s\n", what, db ? sqlite3_errmsg(db) : "error");
    sqlite3_close(db);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 count = 100000;
    QString output = QStringLiteral("sample.db");
    QString pg;
    std::uint64_t seed = 20240601;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (arg == QLatin1String("--count") && hasValue) {
            count = args[++i].toLongLong(&ok);
            ok = ok && count >= 0 && count <= 100000000;
        } else if (arg == QLatin1String("--output") && hasValue) {
            output = args[++i];
        } else if (arg == QLatin1String("--pg") && hasValue) {
            pg = args[++i];
            ok = pg.startsWith(QLatin1String("postgresql://")) ||
                 pg.startsWith(QLatin1String("postgres://"));
        } else if (arg == QLatin1String("--seed") && hasValue) {
            seed = args[++i].toULongLong(&ok);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "usage: samplegen [--count N] [--output FILE | --pg "
                                 "postgresql://...] [--seed S]\n");
            return 2;
        }
    }
    if (output.startsWith(QLatin1String("postgresql://")) ||
        output.startsWith(QLatin1String("postgres://"))) {
        pg = output;
    }
    if (!pg.isEmpty()) {
        return WritePostgreSql(pg, count, seed);
    }

    const QByteArray temporary = QFile::encodeName(output + QStringLiteral(".tmp"));
    std::remove(temporary.constData());
    sqlite3* db = nullptr;
    if (sqlite3_open(temporary.constData(), &db) != SQLITE_OK) {
        return Fail("cannot create the file", db);
    }
    const char* schema = "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;"
                         "CREATE TABLE clientes (CODIGO INTEGER, NMCLIENTE VARCHAR(60), "
                         "CIDADE VARCHAR(40), UF CHAR(2), ATIVO BOOLEAN, LIMITE REAL, "
                         "FONE VARCHAR(11), CPF VARCHAR(11));";
    if (sqlite3_exec(db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot create the table", db);
    }
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO clientes VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                           nullptr) != SQLITE_OK) {
        return Fail("cannot prepare the insert", db);
    }
    Random random(seed);
    Random contacts(ContactsSeed(seed));
    demo::ProgressLine progress(QStringLiteral("samplegen"));
    progress.Begin(QStringLiteral("writing customers"), count);
    for (qint64 code = 1; code <= count; ++code) {
        progress.Advance(code);
        const Customer customer = MakeCustomer(random, contacts, code);
        sqlite3_bind_int64(insert, 1, customer.code);
        sqlite3_bind_text(insert, 2, customer.name.constData(),
                          static_cast<int>(customer.name.size()), SQLITE_TRANSIENT);
        if (customer.city == nullptr) {
            sqlite3_bind_null(insert, 3);
        } else {
            sqlite3_bind_text(insert, 3, customer.city->name, -1, SQLITE_STATIC);
        }
        sqlite3_bind_text(insert, 4, customer.uf, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 5, customer.active ? 1 : 0);
        sqlite3_bind_double(insert, 6, customer.limit);
        sqlite3_bind_text(insert, 7, customer.phone.constData(),
                          static_cast<int>(customer.phone.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, customer.taxId.constData(),
                          static_cast<int>(customer.taxId.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            return Fail("cannot insert", db);
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    progress.End();
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot commit", db);
    }
    sqlite3_close(db);
    if (std::rename(temporary.constData(), QFile::encodeName(output).constData()) != 0) {
        std::fprintf(stderr, "samplegen: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
