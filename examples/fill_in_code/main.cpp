// A host that builds its customers in code, opens the search over them and prints
// the one the user confirmed.
#include <QApplication>
#include <cstdio>
#include <dlfcn.h>
#include <touchsearch/client_dataset.h>
#include <touchsearch/dataset_error.h>
#include <touchsearch/pesquisa.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    host::ClientDataset customers;
    customers.AddField("CODIGO", host::FieldType::Integer);
    customers.AddField("NMCLIENTE", host::FieldType::Text, 40);
    customers.AddField("CIDADE", host::FieldType::Text, 30);
    customers.AppendRecord({1, "MARIA DA SILVA", "LISBOA"});
    customers.AppendRecord({2, "JOAO PEREIRA", "PORTO"});
    customers.AppendRecord({3, "MARCELO SOUZA", "BRAGA"});
    customers.AppendRecord({4, "ANA COSTA", "FARO"});
    customers.AppendRecord({5, "MARTA REIS", "COIMBRA"});
    customers.Open();

    // Load the module as a plugin; it finds its fiscal module beside itself.
    void* module = dlopen(TOUCHSEARCH_MODULE_DIR "/libpesquisa.so", RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto* pesquisa = reinterpret_cast<decltype(&Pesquisa)>(dlsym(module, "Pesquisa"));

    try {
        // The search column is the visible field whose name begins with "NM".
        if (!pesquisa(&customers, nullptr, nullptr, 0, 0, 0, 0, false)) {
            std::puts("cancelled");
            return 1;
        }
        // Confirmed: the dataset stands on the chosen record.
        std::printf("confirmed %lld %s\n",
                    static_cast<long long>(customers.FieldByName("CODIGO")->AsInteger()),
                    qPrintable(customers.FieldByName("NMCLIENTE")->AsString()));
        return 0;
    } catch (const host::DatasetError& error) {
        std::fprintf(stderr, "search failed: %s\n", error.what());
        return 2;
    }
}
