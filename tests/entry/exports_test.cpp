// The built modules as a host sees them: what their dynamic symbol tables export and
// what dlopen/dlsym find.
#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <touchsearch/dataset.h>

namespace {

QString ModulePath(const char* file)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(file);
}

// Names of the symbols a 64-bit ELF shared object defines in its dynamic symbol table
// (what `nm -D --defined-only` lists).
std::set<std::string> DefinedDynamicSymbols(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    const QByteArray image = file.readAll();
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.constData());
    if (image.size() < static_cast<qsizetype>(sizeof(Elf64_Ehdr)) ||
        std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
        header->e_ident[EI_CLASS] != ELFCLASS64) {
        ADD_FAILURE() << path.toStdString() << " is not a 64-bit ELF file";
        return {};
    }
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.constData() + header->e_shoff);
    std::set<std::string> names;
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM) {
            continue;
        }
        const Elf64_Shdr& strings = sections[sections[i].sh_link];
        const auto* symbols =
            reinterpret_cast<const Elf64_Sym*>(image.constData() + sections[i].sh_offset);
        const std::size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (std::size_t k = 1; k < count; ++k) {
            const int binding = ELF64_ST_BIND(symbols[k].st_info);
            if (symbols[k].st_shndx == SHN_UNDEF ||
                (binding != STB_GLOBAL && binding != STB_WEAK)) {
                continue;
            }
            names.insert(image.constData() + strings.sh_offset + symbols[k].st_name);
        }
    }
    return names;
}

using PesquisaFunction = bool (*)(host::Dataset*, const char*, const char*, int32_t, int32_t,
                                  int32_t, int32_t, bool);
constexpr char kAlias[] = "_ZN8pesquisa8PesquisaEPN4host7DatasetEPKcS4_iiiib";
constexpr char kOptionsAlias[] = "_ZN8pesquisa16SetSearchOptionsEPKcj";

} // namespace

TEST(ModuleExports, OnlyTheSearchFunctionTheSearchOptionsTheirAliasesAndTheSlot)
{
    EXPECT_EQ(DefinedDynamicSymbols(ModulePath("libpesquisa.so")),
              (std::set<std::string>{"Pesquisa", kAlias, "PesquisaSearchOptions", kOptionsAlias,
                                     "frmPesquisa"}));
    EXPECT_EQ(DefinedDynamicSymbols(ModulePath("libfiscal.so")),
              (std::set<std::string>{"RelFiscais"}));
}

TEST(ModuleExports, HostFindsOneFunctionUnderBothNames)
{
    void* module =
        dlopen(QFile::encodeName(ModulePath("libpesquisa.so")).constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    void* plain = dlsym(module, "Pesquisa");
    void* alias = dlsym(module, kAlias);
    auto* const* slot = static_cast<void* const*>(dlsym(module, "frmPesquisa"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain, alias);
    void* options = dlsym(module, "PesquisaSearchOptions");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options, dlsym(module, kOptionsAlias));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(dlsym(module, "_ZN12TfrmPesquisaC1EP7QWidget"), nullptr); // the form stays inside

    // A refused call's exception reaches the host across the module boundary.
    const auto pesquisa = reinterpret_cast<PesquisaFunction>(plain);
    std::string message;
    try {
        pesquisa(nullptr, nullptr, nullptr, 0, 0, 0, 0, false);
    } catch (const std::exception& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("null"), std::string::npos) << message;
    EXPECT_EQ(*slot, nullptr);

    void* fiscal =
        dlopen(QFile::encodeName(ModulePath("libfiscal.so")).constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(fiscal, nullptr) << dlerror();
    auto* const* relFiscais = static_cast<void (*const*)()>(dlsym(fiscal, "RelFiscais"));
    ASSERT_NE(relFiscais, nullptr);
    EXPECT_NE(*relFiscais, nullptr);
    // Both stay loaded: Qt's registries may point into them.
}
