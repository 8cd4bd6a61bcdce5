#pragma once

#include <map>
#include <set>
#include <touchsearch/client_dataset.h>

namespace faults_test {

// The operations of a dataset that the search form calls.
enum class Op {
    First,
    Prior,
    Next,
    Last,
    MoveTo,
    SetFilter,
    SetFiltered,
    GetFilter,
    RecordCount,
    Value,
    SetIndexName,
};

const char* OpName(Op op);
const std::set<Op>& AllOps();

// A client dataset that can be told to raise host::DatasetError from any of its
// virtual operations. Counts how often each failing operation was reached.
class ThrowingDataset : public host::ClientDataset {
public:
    ThrowingDataset();

    void FailOn(Op op) { m_failing.insert(op); }
    void FailNothing() { m_failing.clear(); }
    int Raised(Op op) const;
    int RaisedTotal() const;

    void First() override;
    void Prior() override;
    void Next() override;
    void Last() override;
    void MoveTo(int row) override;
    int RecordCount() const override;
    QString GetFilter() const override;
    void SetFilter(const QString& expression) override;
    void SetFiltered(bool filtered) override;
    QVariant Value(int row, int field) const override;
    void SetIndexName(const QString& name) override;

private:
    void Check(Op op) const;

    std::set<Op> m_failing;
    mutable std::map<Op, int> m_raised;
};

} // namespace faults_test
