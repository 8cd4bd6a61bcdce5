#include "tests/fuzz/file_fuzz_support.h"

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <unistd.h>

namespace fuzz_support {

void LoadScratchFile(const uint8_t* data, size_t size, const QString& suffix)
{
    const QString path =
        QDir::temp().filePath(QStringLiteral("ts-fuzz-%1%2").arg(::getpid()).arg(suffix));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return;
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    host::ClientDataset dataset;
    dataset.AddField(QStringLiteral("KEPT"), host::FieldType::Text, 10);
    dataset.Open();
    dataset.AppendRecord({QStringLiteral("kept")});
    try {
        dataset.LoadFromFile(path);
        if (!dataset.IsActive()) {
            dataset.Open();
        }
        for (int row = 0; row < dataset.RecordCount(); ++row) {
            for (int field = 0; field < dataset.GetFieldCount(); ++field) {
                (void)dataset.DisplayText(row, field);
            }
        }
    } catch (const host::DatasetError&) {
        // A failed load keeps what the dataset had.
        if (dataset.RecordCount() != 1 || dataset.GetFieldCount() != 1 ||
            dataset.Value(0, 0).toString() != QStringLiteral("kept")) {
            std::abort();
        }
    }
    QFile::remove(path);
}

} // namespace fuzz_support
