#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace host::sql {

// One text or integer field to make search indexes on, as SqlDataset::CreateSearchIndexes
// found it; the dialect writes the statements.
struct SearchIndexTarget {
    QString table;     // as written (TableSchema::table): names the indexes
    QString relation;  // SQL naming the table
    QString qualifier; // the table's schema and a dot, when one was named; else empty
    QString field;     // the field's name
    QString read;      // SQL reading the field (TableSchema::reads)
    bool nullable = true;
    // ", KEY…": the unique key ending the ordered indexes, so that a window comes
    // straight off the index; empty when the server ends every index with it already.
    QString keySuffix;
    bool inKey = false; // the field is one of the unique key's
    // An integer field: its text form as the filter translation reads it (a search by
    // prefix or contains matches that); empty for a text field.
    QString textForm;
    // The other fields named with it (quoted columns, the key's left out): held in its
    // ordered indexes too, so that a search over all of them reads the index alone, both
    // the walk of the search column's order and the records of this field's prefix.
    QStringList searchedWith;
    // The first field named, others named with it: the search column of a search over
    // several fields, which the dataset orders by.
    bool searchColumn = false;
    // Another field named, the search column being text: that column's name, how it is
    // read and whether it may hold NULL, for the field's prefix buckets, which come in its
    // order (SqlDialect::kBucketLength). Empty otherwise.
    QString orderField;
    QString orderRead;
    bool orderNullable = true;

    // An index's quoted name: short and stable, so that the same table, field and purpose
    // always give the same name and running the call again creates nothing new.
    QString IndexName(QByteArrayView purpose) const;
    // The name as SQL outside the table's schema names it.
    QString QualifiedIndexName(QByteArrayView purpose) const
    {
        return qualifier + IndexName(purpose);
    }
};

} // namespace host::sql
