// A host that searches a table of its database live: live_search URL TABLE
// URL is "sqlite:PATH" or a PostgreSQL URI ("postgresql://user@host/db"). Every
// keystroke narrows the records on the server; nothing is copied into memory. The host
// keeps its own filter (only what is in stock), hides a field from the grid and prints
// the product the user confirmed.
#include <QApplication>
#include <cstdio>
#include <dlfcn.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>
#include <touchsearch/sql_dataset.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: live_search URL TABLE\n");
        return 2;
    }

    void* module = dlopen(TOUCHSEARCH_MODULE_DIR "/libpesquisa.so", RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto* pesquisa = reinterpret_cast<decltype(&Pesquisa)>(dlsym(module, "Pesquisa"));

    host::SqlDataset products;
    try {
        // Opened read-only; the table's declared types give the fields and their sizes.
        products.SetDatabaseUrl(QString::fromLocal8Bit(argv[1]));
        products.SetTableName(QString::fromLocal8Bit(argv[2]));
        products.SetOrderFields({"NMPRODUTO"});
        // Mixed-case names in the table: a typed "caf" still finds "Café moído".
        products.SetFilterOptions(host::FilterOption::CaseInsensitive);
        // The host's own filter: the search narrows within it and gives it back on Esc.
        products.SetFilter("ESTOQUE > 0");
        products.SetFiltered(true);
        products.Open();
        products.FieldByName("CUSTO")->SetVisible(false);

        // "S" would clear the host's filter first; SemMenuFiscal: no F1 menu.
        if (!pesquisa(&products, nullptr, "N", 0, 0, 0, 0, true)) {
            std::printf("cancelled; filter back to %s\n", qPrintable(products.GetFilter()));
            return 1;
        }
        std::printf("confirmed");
        for (int i = 0; i < products.GetFieldCount(); ++i) {
            const host::Field* field = products.GetField(i);
            std::printf(" %s=%s", qPrintable(field->GetName()), qPrintable(field->AsString()));
        }
        std::printf("\n");
        return 0;
    } catch (const host::DatasetError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
}
