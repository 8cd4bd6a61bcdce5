#include "tests/faults/throwing_dataset.h"

#include <touchsearch/dataset_error.h>

namespace faults_test {

const char* OpName(Op op)
{
    switch (op) {
    case Op::First:
        return "First";
    case Op::Prior:
        return "Prior";
    case Op::Next:
        return "Next";
    case Op::Last:
        return "Last";
    case Op::MoveTo:
        return "MoveTo";
    case Op::SetFilter:
        return "SetFilter";
    case Op::SetFiltered:
        return "SetFiltered";
    case Op::SetIndexName:
        return "SetIndexName";
    case Op::GetFilter:
        return "GetFilter";
    case Op::RecordCount:
        return "RecordCount";
    case Op::Value:
        return "Value";
    }
    return "?";
}

const std::set<Op>& AllOps()
{
    static const std::set<Op> all{Op::First,       Op::Prior,     Op::Next,        Op::Last,
                                  Op::MoveTo,      Op::SetFilter, Op::SetFiltered, Op::GetFilter,
                                  Op::RecordCount, Op::Value,     Op::SetIndexName};
    return all;
}

ThrowingDataset::ThrowingDataset()
{
    AddField(QStringLiteral("CODIGO"), host::FieldType::Integer);
    AddField(QStringLiteral("NMCLIENTE"), host::FieldType::Text, 40);
    AddField(QStringLiteral("CIDADE"), host::FieldType::Text, 30);
    Open();
    const char* names[] = {"JOANA", "JOAO", "ANA", "BRUNO", "MARIA", "ANTONIO"};
    int code = 1;
    for (const char* name : names) {
        AppendRecord({code, QString::fromLatin1(name), QStringLiteral("RECIFE")});
        ++code;
    }
    ClientDataset::First();
}

int ThrowingDataset::Raised(Op op) const
{
    const auto it = m_raised.find(op);
    return it == m_raised.end() ? 0 : it->second;
}

int ThrowingDataset::RaisedTotal() const
{
    int total = 0;
    for (const auto& [op, count] : m_raised) {
        total += count;
    }
    return total;
}

void ThrowingDataset::Check(Op op) const
{
    if (m_failing.count(op) != 0) {
        ++m_raised[op];
        throw host::DatasetError(QStringLiteral("Injected fault in %1").arg(OpName(op)));
    }
}

void ThrowingDataset::First()
{
    Check(Op::First);
    ClientDataset::First();
}

void ThrowingDataset::Prior()
{
    Check(Op::Prior);
    ClientDataset::Prior();
}

void ThrowingDataset::Next()
{
    Check(Op::Next);
    ClientDataset::Next();
}

void ThrowingDataset::Last()
{
    Check(Op::Last);
    ClientDataset::Last();
}

void ThrowingDataset::MoveTo(int row)
{
    Check(Op::MoveTo);
    ClientDataset::MoveTo(row);
}

int ThrowingDataset::RecordCount() const
{
    Check(Op::RecordCount);
    return ClientDataset::RecordCount();
}

QString ThrowingDataset::GetFilter() const
{
    Check(Op::GetFilter);
    return ClientDataset::GetFilter();
}

void ThrowingDataset::SetFilter(const QString& expression)
{
    Check(Op::SetFilter);
    ClientDataset::SetFilter(expression);
}

void ThrowingDataset::SetFiltered(bool filtered)
{
    Check(Op::SetFiltered);
    ClientDataset::SetFiltered(filtered);
}

QVariant ThrowingDataset::Value(int row, int field) const
{
    Check(Op::Value);
    return ClientDataset::Value(row, field);
}

void ThrowingDataset::SetIndexName(const QString& name)
{
    Check(Op::SetIndexName);
    ClientDataset::SetIndexName(name);
}

} // namespace faults_test
