// Build-time tool: turns the schema file into the database file that ships
// next to the executables. Usage: kv_make_db SCHEMA.sql OUT.MDB
// The file is written under a temporary name and renamed into place, so an
// interrupted build never leaves a half-made database behind.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCHEMA.sql OUT.MDB\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kv_make_db: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << in.rdbuf();

    const std::string out = argv[2];
    const std::string tmp = out + ".tmp";
    std::remove(tmp.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "kv_make_db: cannot create %s\n", tmp.c_str());
        sqlite3_close(db);
        return 1;
    }
    char* err = nullptr;
    // Rollback journal: the shipped file is one file at rest (no -wal
    // companion to lose when it is copied); connections run synchronous=FULL.
    const std::string script = "PRAGMA journal_mode=DELETE; BEGIN;" + schema.str() + "; COMMIT;";
    int rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &err);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "VACUUM;", nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "kv_make_db: %s\n", err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        sqlite3_close(db);
        std::remove(tmp.c_str());
        return 1;
    }
    sqlite3_close(db);
    if (std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::perror("kv_make_db: rename");
        return 1;
    }
    return 0;
}
