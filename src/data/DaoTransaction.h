// A transaction on a recordset's connection that is rolled back unless it
// was committed. Begin it inside the try block; a catch block that must
// close the recordset first does so and then calls RollbackQuietly; any
// other way out of the scope (another exception) rolls back in the
// destructor.
#pragma once

#include "data/DaoRecordset.h"

namespace kv {

class CDaoTransaction {
public:
    explicit CDaoTransaction(CDaoRecordset& rs) : m_rs(rs) {}
    ~CDaoTransaction()
    {
        try {
            RollbackQuietly();
        } catch (...) {
        }
    }
    CDaoTransaction(const CDaoTransaction&) = delete;
    CDaoTransaction& operator=(const CDaoTransaction&) = delete;

    void Begin()
    {
        m_rs.BeginTrans();
        m_active = true;
    }
    // A commit that fails leaves the transaction to be rolled back.
    void Commit()
    {
        m_rs.CommitTrans();
        m_active = false;
    }
    // Rolls back what is still open. A failing rollback is passed over:
    // SQLite may have rolled back by itself already.
    void RollbackQuietly()
    {
        if (!m_active)
            return;
        m_active = false;
        try {
            m_rs.Rollback();
        } catch (const CDaoException&) {
        }
    }
    bool Active() const { return m_active; }

private:
    CDaoRecordset& m_rs;
    bool m_active = false;
};

} // namespace kv
