#include "store/Migration.h"

#include "store/Schema.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace
{
    // Every table of the current layout, each after those it refers to.
    constexpr const char* tables[] { "account", "confirmation", "reset_code", "login_attempt", "rate_bucket",
                                     "machine", "plugin_list", "plugin", "catalog", "mail_queue" };

    // The tables whose ids PostgreSQL counts itself.
    constexpr const char* counted[] { "account", "reset_code", "login_attempt", "machine", "mail_queue" };

    enum class Type
    {
        integer,
        text,
        bytes
    };

    struct Column
    {
        std::string name;
        Type type;
    };

    // The columns of a table as PostgreSQL has them, in their order.
    std::vector<Column> columnsOf (Database& to, const std::string& table)
    {
        Database::Statement query (to, "SELECT column_name, data_type FROM information_schema.columns "
                                       "WHERE table_schema = current_schema() AND table_name = ?1 "
                                       "ORDER BY ordinal_position");
        query.bind (1, table);
        std::vector<Column> columns;

        while (query.step())
        {
            const auto type = query.columnText (1);
            columns.push_back ({ query.columnText (0), type == "bytea" ? Type::bytes
                                                     : type == "text" ? Type::text
                                                                      : Type::integer });
        }

        if (columns.empty())
            throw Database::Error ("the PostgreSQL database has no table " + table);

        return columns;
    }

    std::int64_t rowsOf (Database& db, const std::string& table)
    {
        Database::Statement count (db, "SELECT COUNT(*) FROM " + table);
        return count.step() ? count.columnInt (0) : 0;
    }

    // "INSERT INTO table (a, b) VALUES (?1, ?2), (?3, ?4), ..." for `rows` rows.
    std::string insertOf (const std::string& table, const std::vector<Column>& columns, std::size_t rows)
    {
        std::string names;

        for (const auto& column : columns)
            names += (names.empty() ? "" : ", ") + column.name;

        std::string sql = "INSERT INTO " + table + " (" + names + ") VALUES ";
        int parameter = 0;

        for (std::size_t row = 0; row < rows; ++row)
        {
            sql += row == 0 ? "(" : ", (";

            for (std::size_t i = 0; i < columns.size(); ++i)
                sql += (i == 0 ? "?" : ", ?") + std::to_string (++parameter);

            sql += ")";
        }

        return sql;
    }

    void copyTable (Database& from, Database& to, const std::string& table)
    {
        const auto columns = columnsOf (to, table);
        std::string names;

        for (const auto& column : columns)
            names += (names.empty() ? "" : ", ") + column.name;

        // SQLite keeps whatever a column is given; a number column holding
        // text or a fraction would not arrive as it is.
        for (const auto& column : columns)
        {
            const auto wanted = column.type == Type::integer ? "'integer'" : column.type == Type::bytes ? "'blob'" : "'text'";
            Database::Statement odd (from, "SELECT COUNT(*) FROM " + table + " WHERE typeof(" + column.name
                                               + ") NOT IN (" + wanted + ", 'null')");

            if (odd.step() && odd.columnInt (0) != 0)
                throw Database::Error ("the column " + table + "." + column.name + " holds " + std::to_string (odd.columnInt (0))
                                       + " values of another type; nothing was changed.");
        }

        // Several rows a statement: one round trip for each row would make
        // a large database take hours.
        const auto rowsPerInsert = std::max<std::size_t> (1, 4000 / columns.size());
        Database::Statement read (from, "SELECT " + names + " FROM " + table);
        Database::Statement fullInsert (to, insertOf (table, columns, rowsPerInsert));

        std::vector<std::vector<std::optional<std::string>>> pending;
        std::vector<std::optional<std::string>> row;

        const auto flush = [&]
        {
            if (pending.empty())
                return;

            std::unique_ptr<Database::Statement> partial;

            if (pending.size() < rowsPerInsert)
                partial = std::make_unique<Database::Statement> (to, insertOf (table, columns, pending.size()));

            auto& insert = partial != nullptr ? *partial : fullInsert;
            int parameter = 0;

            for (const auto& values : pending)
            {
                for (std::size_t i = 0; i < columns.size(); ++i)
                {
                    ++parameter;

                    if (! values[i])
                        insert.bindNull (parameter);
                    else if (columns[i].type == Type::integer)
                        insert.bind (parameter, static_cast<std::int64_t> (std::stoll (*values[i])));
                    else if (columns[i].type == Type::bytes)
                        insert.bindBlob (parameter, values[i]->data(), values[i]->size());
                    else
                        insert.bind (parameter, *values[i]);
                }
            }

            insert.run();
            insert.reset();
            pending.clear();
        };

        while (read.step())
        {
            row.clear();

            for (std::size_t i = 0; i < columns.size(); ++i)
            {
                const auto index = static_cast<int> (i);

                if (read.columnIsNull (index))
                    row.emplace_back();
                else if (columns[i].type == Type::integer)
                    row.emplace_back (std::to_string (read.columnInt (index)));
                else if (columns[i].type == Type::bytes)
                    row.emplace_back (read.columnBlob (index));
                else
                    row.emplace_back (read.columnText (index));
            }

            pending.push_back (std::move (row));
            row = {};

            if (pending.size() == rowsPerInsert)
                flush();
        }

        flush();
    }
}

std::vector<Migration::Copied> Migration::copy (Database& from, Database& to, std::vector<std::string>& notes)
{
    if (from.kind() != Database::Kind::sqlite || to.kind() != Database::Kind::postgresql)
        throw Database::Error ("migrate copies a SQLite database into a PostgreSQL database");

    for (auto* db : { &from, &to })
        for (auto& note : Schema::bringUpToDate (*db))
            notes.push_back (std::move (note));

    // Held to the end and never committed: writers of the SQLite database
    // wait until the copy is done, and it stays as it was.
    Database::Transaction reading (from);
    Database::Transaction writing (to);

    for (const auto* table : tables)
        if (rowsOf (to, table) != 0)
            throw Database::Error ("the PostgreSQL database " + to.path() + " is not empty: its table " + table
                                   + " has rows. migrate copies into an empty database only; nothing was changed.");

    std::vector<Copied> copied;

    for (const auto* table : tables)
    {
        copyTable (from, to, table);

        const auto there = rowsOf (to, table), here = rowsOf (from, table);

        if (there != here)
            throw Database::Error (std::string ("the table ") + table + " has " + std::to_string (here)
                                   + " rows but " + std::to_string (there) + " arrived; nothing was changed.");

        copied.push_back ({ table, there });
    }

    // The next id PostgreSQL gives is past every copied one.
    for (const auto* table : counted)
    {
        Database::Statement move (to, std::string ("SELECT setval(pg_get_serial_sequence(?1, 'id'), "
                                                   "COALESCE(MAX(id), 0) + 1, false) FROM ") + table);
        move.bind (1, std::string_view (table)).run();
    }

    writing.commit();
    return copied;
}
