#include "connection/odbc.h"

// Placeholder until the ODBC layer lands.
namespace odbc {
Handle::~Handle() = default;
}
