#include "demo/zyl/outcome.h"

#include <QDate>
#include <gtest/gtest.h>
#include <limits>

TEST(Outcome, OneLineOfJsonInContractOrder)
{
    zyl::Outcome outcome;
    outcome.confirmed = true;
    outcome.search = QStringLiteral("Ç\"x");
    outcome.filter = QStringLiteral("UPPER(NMCLIENTE) LIKE 'Ç%'");
    outcome.filtered = true;
    outcome.indexName = QStringLiteral("IDX");
    outcome.count = 2;
    outcome.record = std::vector<std::pair<QString, QVariant>>{
        {QStringLiteral("Z"), 1},
        {QStringLiteral("A"), QVariant()},
        {QStringLiteral("F"), 2.5},
        {QStringLiteral("B"), true},
        {QStringLiteral("D"), QDate(2024, 2, 29)},
        {QStringLiteral("N"), std::numeric_limits<double>::quiet_NaN()},
    };
    EXPECT_EQ(
        zyl::OutcomeJson(outcome),
        QByteArray("{\"confirmed\":true,\"search\":\"\xc3\x87\\\"x\",\"filter\":\"UPPER(NMCLIENTE) "
                   "LIKE '\xc3\x87%'\",\"filtered\":true,\"indexName\":\"IDX\",\"count\":2,"
                   "\"record\":{\"Z\":1,\"A\":null,\"F\":2.5,\"B\":true,\"D\":\"2024-02-29\","
                   "\"N\":\"NaN\"}}"));
    outcome.record.reset();
    EXPECT_TRUE(zyl::OutcomeJson(outcome).endsWith(",\"record\":null}"));
}
