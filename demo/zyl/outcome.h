#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

namespace zyl {

// What zyl reports after the search, printed as one line of JSON.
struct Outcome {
    bool confirmed = false;
    QString search; // the search box text when the dialog closed
    QString filter; // the dataset's filter text after the call
    bool filtered = false;
    QString indexName;
    int count = 0; // records passing the filter
    // The current record's fields in field order, when confirmed on a record.
    std::optional<std::vector<std::pair<QString, QVariant>>> record;
};

// A field value as JSON: number, boolean, string or null (NULL, NaN, infinity).
QJsonValue JsonValue(const QVariant& value);

// {"confirmed":…,"search":…,"filter":…,"filtered":…,"indexName":…,"count":…,"record":…}
// with the keys in that order and the record's fields in field order.
QByteArray OutcomeJson(const Outcome& outcome);

} // namespace zyl
