#pragma once

// The three table clearing commands of the tools menu.
enum class ClearTable { Cjhb, Ordwth2, Ordwth };

// Asks, runs the delete on the table's query object (qry1, qry3, qry2) and
// reports the outcome.
void clearTable(ClearTable table);
