#pragma once

#include "demo/zyl/options.h"

#include <QString>
#include <memory>

namespace host {
class ClientDataset;
}

namespace zyl {

// Builds the client dataset the options describe: loads the file (the bundled sample
// beside the program by default; with --table, that table of an SQLite database),
// hides the --hide fields and sets the --filter text and --filtered switch.
// Raises std::exception with a message naming the file, table or field.
std::unique_ptr<host::ClientDataset> LoadDataset(const Options& options,
                                                 const QString& programFolder);

// The bundled sample's file name beside the program.
inline constexpr char kSampleFile[] = "sample.db";

} // namespace zyl
