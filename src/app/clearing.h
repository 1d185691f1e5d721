#pragma once

#include <QString>

class Query;

// The three table clearing commands of the tools menu.
enum class ClearTable { Cjhb, Ordwth2, Ordwth };

struct ClearCommand
{
    const char *statement;   // SQL run through the query object
    const char *question;    // confirmation question
    const char *success;     // success box text
    const char *displayName; // table name as shown in the failure text
};

const ClearCommand &clearCommand(ClearTable table);
// The data module's query object the command runs on (qry1, qry3, qry2).
Query &clearQuery(ClearTable table);
// Five-line failure text for the table (lines separated by CR).
QString clearFailureText(ClearTable table);
// Asks, runs the delete on the table's query object and reports the outcome.
void clearTable(ClearTable table);
