-- The local database "WVL.MDB": the phonebook mirror, the SMS mirror and the
-- call history. Built into the file by the build; the program itself never
-- creates, alters or drops a table. Column order is the binding order of the
-- recordset classes and must not change.

CREATE TABLE tealfin_pbook (
    storage_type  INTEGER NOT NULL,           -- 1 memory, 2 RUIM card, 888/999 protected
    "index"       INTEGER NOT NULL,           -- record number in its storage, from 1
    name          TEXT    NOT NULL DEFAULT '' CHECK (length(name) <= 255),
    phone_number  TEXT    NOT NULL DEFAULT '' CHECK (length(phone_number) <= 255),
    UNIQUE (storage_type, "index")
);
-- Caller-name lookups compare whole numbers without regard to case.
CREATE INDEX tealfin_pbook_number ON tealfin_pbook (phone_number COLLATE NOCASE);

CREATE TABLE tealfin_sms (
    "index"    INTEGER NOT NULL UNIQUE,       -- storage code * 65536 + slot
    tag_type   REAL    NOT NULL DEFAULT 0,    -- 1 read, 2 unread, >2 stored for sending
    "time"     REAL    NOT NULL DEFAULT 0,    -- seconds since 1980-01-06 00:00:00
    cb_number  TEXT    NOT NULL DEFAULT '' CHECK (length(cb_number) <= 255),
    new_flag   INTEGER NOT NULL DEFAULT 0 CHECK (new_flag BETWEEN 0 AND 255),
    encoding   INTEGER NOT NULL DEFAULT 0 CHECK (encoding BETWEEN 0 AND 255),
    message    BLOB    NOT NULL CHECK (length(message) = 229)
);
CREATE INDEX tealfin_sms_time ON tealfin_sms ("time");

CREATE TABLE tealfin_vcall (
    storage_type  INTEGER NOT NULL,           -- 1 outgoing, 2 answered, 3 missed
    "index"       INTEGER NOT NULL,           -- running call number
    name          TEXT    NOT NULL DEFAULT '' CHECK (length(name) <= 255),
    phone_number  TEXT    NOT NULL DEFAULT '' CHECK (length(phone_number) <= 255),
    "time"        TEXT    NOT NULL DEFAULT '' CHECK (length("time") <= 255),
    call_time     TEXT    NOT NULL DEFAULT '' CHECK (length(call_time) <= 255)
);
CREATE INDEX tealfin_vcall_index ON tealfin_vcall ("index");

-- Installation data: entries the user cannot edit or see on the phonebook
-- pages, but whose names caller lookups find.
INSERT INTO tealfin_pbook VALUES (888, 1, 'Korvia Customer Care', '611');
INSERT INTO tealfin_pbook VALUES (888, 2, 'Korvia Customer Care', '18005550199');
INSERT INTO tealfin_pbook VALUES (888, 3, 'Korvia Data Support', '18005550123');
INSERT INTO tealfin_pbook VALUES (999, 1, 'Emergency', '911');
