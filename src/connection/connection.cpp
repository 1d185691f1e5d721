#include "connection/connection.h"

// Placeholder until the ODBC connection lands.
Connection::Connection(QObject *parent) : QObject(parent) {}
Connection::~Connection() = default;
void Connection::close() {}
