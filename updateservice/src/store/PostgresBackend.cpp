#include "store/DatabaseBackend.h"

#include <pqxx/pqxx>

#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

namespace
{
    // SQLSTATE disk_full: the server had no room for what was written.
    constexpr const char* diskFull = "53100";

    // The first key of the write lock, so that it does not collide with
    // advisory locks others take in the same database; the second is the
    // schema the service works in.
    constexpr const char* takeWriteLock = "SELECT pg_advisory_xact_lock(1129270348, hashtext(current_schema()))";

    // The lock of one account's rows, under a first key of its own.
    constexpr const char* takeAccountLock =
        "SELECT pg_advisory_xact_lock(1129270349, hashtext(current_schema() || ':' || ?1))";

    // Each statement of a write transaction reads what was committed before
    // it, whatever the server's default isolation; a writer that cannot
    // have the lock within SQLite's busy time-out gives up as SQLite's do.
    constexpr const char* writeTransactionSettings =
        "SET TRANSACTION ISOLATION LEVEL READ COMMITTED; SET LOCAL lock_timeout = '30s'";

    // Text goes both ways as UTF-8 whatever the database's encoding. Given
    // with the connection, so that it holds again when libpqxx reconnects.
    std::string withClientEncoding (const std::string& connectionString)
    {
        return connectionString + (connectionString.find ('?') == std::string::npos ? "?" : "&")
             + "client_encoding=UTF8";
    }

    // Runs `work`, turning libpqxx's exceptions into Database::Error.
    template <typename Work>
    auto translatingErrors (const char* what, Work&& work)
    {
        try
        {
            return work();
        }
        catch (const pqxx::sql_error& e)
        {
            throw Database::Error (std::string (what) + ": " + e.what(), e.sqlstate() == diskFull);
        }
        catch (const std::exception& e)
        {
            throw Database::Error (std::string (what) + ": " + e.what());
        }
    }

    // Runs `task`; when it fails within a transaction, `failed` is set.
    template <typename Task>
    auto notingFailure (bool inTransaction, bool& failed, Task&& task)
    {
        try
        {
            return task();
        }
        catch (...)
        {
            failed = failed || inTransaction;
            throw;
        }
    }

    // The store's statements number their parameters ?1, ?2, ...;
    // PostgreSQL's are $1, $2, .... Text in quotes is left alone. Returns
    // the highest number used.
    int toDollarParameters (std::string_view sql, std::string& translated)
    {
        translated.clear();
        translated.reserve (sql.size() + 8);
        int highest = 0, unnumbered = 0;
        char quote = 0;

        for (std::size_t i = 0; i < sql.size(); ++i)
        {
            const auto c = sql[i];

            if (quote != 0)
            {
                quote = c == quote ? 0 : quote;
                translated += c;
                continue;
            }

            if (c == '\'' || c == '"')
            {
                quote = c;
                translated += c;
                continue;
            }

            if (c != '?')
            {
                translated += c;
                continue;
            }

            int number = 0;

            while (i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9' && number < 100000)
                number = number * 10 + (sql[++i] - '0');

            if (number == 0)
                number = ++unnumbered;

            highest = std::max (highest, number);
            translated += '$' + std::to_string (number);
        }

        return highest;
    }

    //==============================================================================
    class PostgresBackend;

    class PostgresStatement final : public Database::StatementBackend
    {
    public:
        PostgresStatement (PostgresBackend& owner, std::string_view sql)
            : backend (owner)
        {
            parameters.resize (static_cast<std::size_t> (toDollarParameters (sql, translated)));
        }

        void bindText (int index, std::string_view value) override
        {
            // PostgreSQL's text cannot hold a NUL character.
            if (value.find ('\0') != std::string_view::npos)
                throw Database::Error ("cannot bind a value: text holds a NUL character");

            slot (index) = std::string (value);
        }

        void bindInt (int index, std::int64_t value) override
        {
            slot (index) = std::to_string (value);
        }

        void bindBlob (int index, const void* data, std::size_t size) override
        {
            // bytea's hex input form.
            static constexpr char digits[] = "0123456789abcdef";
            std::string hex ("\\x");
            hex.reserve (2 + size * 2);

            for (std::size_t i = 0; i < size; ++i)
            {
                const auto byte = static_cast<const unsigned char*> (data)[i];
                hex += digits[byte >> 4];
                hex += digits[byte & 15];
            }

            slot (index) = std::move (hex);
        }

        void bindNull (int index) override
        {
            slot (index).reset();
        }

        bool step() override;

        void reset() override
        {
            result.reset();
            row = 0;

            for (auto& parameter : parameters)
                parameter.reset();
        }

        std::string columnText (int column) const override
        {
            const auto value = field (column);
            return value.is_null() ? std::string() : std::string (value.c_str(), value.size());
        }

        std::int64_t columnInt (int column) const override
        {
            const auto value = field (column);

            if (value.is_null())
                return 0;

            const auto* text = value.c_str();

            if (text[0] == 't' || text[0] == 'f')   // a boolean
                return text[0] == 't' ? 1 : 0;

            return std::strtoll (text, nullptr, 10);
        }

        bool columnIsNull (int column) const override
        {
            return field (column).is_null();
        }

        std::string columnBlob (int column) const override
        {
            const auto value = field (column);

            if (value.is_null())
                return {};

            // Either of bytea's output forms.
            return translatingErrors ("cannot read a stored value", [&] { return pqxx::binarystring (value).str(); });
        }

    private:
        std::optional<std::string>& slot (int index)
        {
            if (index < 1 || static_cast<std::size_t> (index) > parameters.size())
                throw Database::Error ("cannot bind a value: the statement has no parameter " + std::to_string (index));

            return parameters[static_cast<std::size_t> (index - 1)];
        }

        pqxx::field field (int column) const
        {
            if (! result || row == 0 || row > result->size() || column < 0
                || column >= static_cast<int> (result->columns()))
                throw Database::Error ("no such column in the current row");

            return (*result)[static_cast<pqxx::result::size_type> (row - 1)][static_cast<pqxx::row::size_type> (column)];
        }

        PostgresBackend& backend;
        std::string translated;   ///< the SQL with $1, $2, ...
        std::vector<std::optional<std::string>> parameters;
        std::optional<pqxx::result> result;   ///< of the run under way
        std::size_t row = 0;                  ///< the current row, counted from 1
    };

    //==============================================================================
    class PostgresBackend final : public Database::Backend
    {
    public:
        explicit PostgresBackend (const std::string& connectionString)
            : connection (translatingErrors ("cannot open the database", [&]
              {
                  return std::make_unique<pqxx::connection> (withClientEncoding (connectionString));
              }))
        {
            // Notices of statements that found their work done already stay
            // out of the log.
            execute ("SET client_min_messages = warning");
        }

        ~PostgresBackend() override
        {
            rollback();
        }

        void execute (const char* sql) override
        {
            notingFailure (work != nullptr, failedInTransaction, [&]
            {
                return translatingErrors ("statement failed", [&]
                {
                    if (work != nullptr)
                        remember (work->exec (sql));
                    else
                        remember (pqxx::nontransaction (*connection).exec (sql));

                    return 0;
                });
            });
        }

        pqxx::result run (const std::string& sql, const std::vector<std::optional<std::string>>& parameters)
        {
            return notingFailure (work != nullptr, failedInTransaction, [&] { return translatingErrors ("statement failed", [&]
            {
                std::vector<const char*> values;
                values.reserve (parameters.size());

                for (const auto& parameter : parameters)
                    values.push_back (parameter ? parameter->c_str() : nullptr);

                const auto dynamic = pqxx::prepare::make_dynamic_params (values);
                const auto name = preparedName (sql);

                std::optional<pqxx::nontransaction> once;
                pqxx::transaction_base& transaction = work != nullptr ? static_cast<pqxx::transaction_base&> (*work)
                                                                      : once.emplace (*connection);

                auto result = name.empty() ? transaction.exec_params (sql, dynamic)
                                           : transaction.exec_prepared (name, dynamic);
                remember (result);
                return result;
            }); });
        }

        std::unique_ptr<Database::StatementBackend> prepare (std::string_view sql) override
        {
            return std::make_unique<PostgresStatement> (*this, sql);
        }

        void lockAccount (std::int64_t accountId) override
        {
            if (work == nullptr)
                throw Database::Error ("an account's lock is taken inside a transaction only");

            std::vector<std::optional<std::string>> parameters { std::to_string (accountId) };
            std::string sql;
            toDollarParameters (takeAccountLock, sql);
            run (sql, parameters);
        }

        void begin (std::optional<std::int64_t> account) override
        {
            translatingErrors ("cannot begin a transaction", [&]
            {
                work = std::make_unique<pqxx::work> (*connection);
                return 0;
            });

            failedInTransaction = false;

            try
            {
                execute (writeTransactionSettings);

                // Writers take turns, whichever process they are in: what a
                // transaction reads after this was written by every writer
                // before it.
                if (account)
                    lockAccount (*account);
                else
                    execute (takeWriteLock);
            }
            catch (...)
            {
                rollback();
                throw;
            }
        }

        void commit() override
        {
            // After a failed statement the server ends the transaction with
            // a rollback, whatever it is told: that is no commit.
            if (failedInTransaction)
            {
                rollback();
                throw Database::Error ("cannot commit: a statement of the transaction failed, so nothing of it was kept");
            }

            translatingErrors ("cannot commit", [&]
            {
                auto finishing = std::move (work);
                finishing->commit();
                return 0;
            });
        }

        void rollback() noexcept override
        {
            try
            {
                work.reset();   // aborts what was not committed
            }
            catch (...)
            {
            }
        }

        int changes() const override    { return lastChanges; }
        bool isUsable() const override  { return connection->is_open(); }

    private:
        // The name the statement is prepared under on this connection, so
        // the server plans it once; empty past the most the connection
        // keeps (statements are few, but nothing stops a caller making
        // many).
        std::string preparedName (const std::string& sql)
        {
            if (const auto found = prepared.find (sql); found != prepared.end())
                return found->second;

            if (prepared.size() >= maxPrepared)
                return {};

            auto name = "cobaltline_" + std::to_string (prepared.size());
            connection->prepare (name, sql);
            return prepared.emplace (sql, std::move (name)).first->second;
        }

        void remember (const pqxx::result& result)
        {
            lastChanges = static_cast<int> (result.affected_rows());
        }


        std::unique_ptr<pqxx::connection> connection;
        std::unique_ptr<pqxx::work> work;   ///< the transaction under way, if any
        bool failedInTransaction = false;
        int lastChanges = 0;

        static constexpr std::size_t maxPrepared = 500;
        std::unordered_map<std::string, std::string> prepared;   ///< SQL -> its name on this connection
    };

    bool PostgresStatement::step()
    {
        if (! result)
        {
            result = backend.run (translated, parameters);
            row = 0;
        }

        if (row < result->size())
        {
            ++row;
            return true;
        }

        row = result->size() + 1;
        return false;
    }
}

std::unique_ptr<Database::Backend> openPostgres (const std::string& connectionString)
{
    return std::make_unique<PostgresBackend> (connectionString);
}
