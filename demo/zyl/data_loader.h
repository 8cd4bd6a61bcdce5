#pragma once

#include "demo/zyl/options.h"

#include <QString>
#include <memory>

namespace host {
class Dataset;
}
namespace host::sql {
class ScopedDatabase;
}

namespace zyl {

// The dataset zyl searches and, for a live database, the connection it reads through.
struct LoadedData {
    LoadedData();
    LoadedData(LoadedData&&) noexcept;
    LoadedData& operator=(LoadedData&&) noexcept;
    ~LoadedData();
    std::unique_ptr<host::sql::ScopedDatabase> connection;
    std::unique_ptr<host::Dataset> dataset; // declared last: it goes before its connection
};

// Builds the dataset the options describe. A file (the bundled sample beside the program
// by default; with --table, that table of an SQLite database) is loaded into a client
// dataset; a database URL is searched live as an SQL dataset on --table (or its only
// table), or with --copy read into a client dataset. Then hides the --hide fields and
// sets the filter options, the --filter text and the --filtered switch. Raises
// std::exception with a message naming the file, URL, table or field.
LoadedData LoadDataset(const Options& options, const QString& programFolder);

// The bundled sample's file name beside the program.
inline constexpr char kSampleFile[] = "sample.db";

} // namespace zyl
