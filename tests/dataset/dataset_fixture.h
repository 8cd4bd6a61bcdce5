#pragma once

#include "tests/common/error_of.h"

#include <QString>
#include <memory>
#include <touchsearch/client_dataset.h>
#include <vector>

namespace dataset_test {

// A small customer list with NULLs, accents and mixed case:
//  CODIGO NMCLIENTE            CIDADE       UF   ATIVO LIMITE   NASCIMENTO
//  1      "João Gonçalves"     "São Paulo"  SP   true  1500.5   1980-05-01
//  2      "MARIA DA CONCEIÇÃO" "Recife"     PE   false 200      NULL
//  3      "Ana Araújo"         NULL         RJ   true  NULL     1990-12-31
//  10     "joao silva"         "Curitiba"   PR   NULL  0        2000-01-01
//  12     NULL                 "Natal"      RN   true  99.99    1975-07-15
//  20     "Zé D'Ávila"         "Salvador"   BA   false -10      1969-02-28
//  7      "JOAO SANTOS"        "Belém"      PA   true  300      1985-03-03
//  8      "Ana"                "  Natal  "  RN   false 50       NULL
std::unique_ptr<host::ClientDataset> MakeCustomers();

// CODIGO of every record in the view, in view order.
std::vector<qint64> Codes(const host::ClientDataset& dataset);

// Codes after applying a filter expression (switch on).
std::vector<qint64> Filtered(host::ClientDataset& dataset, const QString& expression);

using test_support::ErrorOf;

} // namespace dataset_test
