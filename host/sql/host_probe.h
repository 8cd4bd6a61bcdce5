#pragma once

#include "host/sql/database_url.h"

#include <QString>
#include <QStringList>

namespace host::sql {

// The servers of a PostgreSQL URL that answer, found before QtSql's driver connects:
// the driver connects with libpq's blocking PQconnectdb, whose connect_timeout is at
// least 2 s a host, and a hung server takes every connection into its backlog and never
// answers. So each host is tried at once, in parallel, through libpq's asynchronous
// connection (PQconnectStartParams and PQconnectPoll under one poll(2) bound), and only
// those that completed their start-up are given to the driver, in the URL's order, with
// the URL's target_session_attrs: libpq then still chooses among them by role.
struct HostChoice {
    // What to connect to: one entry for each answering host, in the URL's order.
    QString hosts;
    QString ports;
    QString hostaddrs;
    int answering = 0;
    // Why each other host was left out: "HOST:PORT: REASON".
    QStringList failures;
};

// Probes every host of the URL but url.avoidServer ("HOST:PORT", the one a connection
// was just lost on) within url.timeoutMs.
HostChoice ChooseHosts(const DatabaseUrl& url);

} // namespace host::sql
