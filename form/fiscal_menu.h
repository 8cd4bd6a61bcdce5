#pragma once

#include <functional>

namespace pesquisa {

// The procedure the fiscal module's variable RelFiscais holds: opens its fiscal menu.
using FiscalMenuProcedure = void (*)();

// The procedure RelFiscais holds in the fiscal module "libfiscal.so" (the loaded one,
// else the one beside this module or the program); nullptr when the module, the
// variable or the procedure is missing.
FiscalMenuProcedure FindRelFiscais();

// Replaces the lookup (tests use a stand-in); an empty function restores the real
// one. Returns the previous lookup.
using FiscalMenuLocator = std::function<FiscalMenuProcedure()>;
FiscalMenuLocator SetFiscalMenuLocator(FiscalMenuLocator locator);

} // namespace pesquisa
