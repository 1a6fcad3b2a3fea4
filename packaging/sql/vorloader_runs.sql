-- The record database of the VORnet loader: one row per device run, as every station's
-- record file keeps it. Run once, as the database's owner, in the database the stations name:
--
--   CREATE ROLE vorloader_station NOLOGIN;                  -- the rights every station shares
--   CREATE ROLE bench1 LOGIN PASSWORD '...' IN ROLE vorloader_station;
--   psql -d production -f vorloader_runs.sql
--
-- The loader never creates this table: the role that made it would own every station's rows.
-- A station adds rows (INSERT) and reads them back for `vorloader-cli history` (SELECT); it
-- never changes or removes one. db_role is filled by the database with the role that inserted
-- the row (whatever the row says), so a station cannot write rows in another bench's name
-- unnoticed. run_id is unique per run, so a record delivered twice (after
-- a lost connection) is stored once: the loader inserts with ON CONFLICT (run_id) DO NOTHING.
-- Texts are stored as the devices and catalogues gave them (Latin-1, converted to the
-- database's encoding); time is UTC, ISO 8601 ("2026-12-10T13:46:18Z").

CREATE TABLE IF NOT EXISTS vorloader_runs (
  time text NOT NULL,
  workflow text NOT NULL,
  port text NOT NULL,
  path text NOT NULL,
  device_id bigint,
  product text,
  version_before text,
  version_after text,
  file text,
  sha256 text,
  code integer NOT NULL,
  result text NOT NULL,
  duration_ms bigint NOT NULL,
  loader text NOT NULL,
  run_id text PRIMARY KEY,
  station text NOT NULL,
  erase_began boolean,
  wait_ms bigint NOT NULL DEFAULT 0,
  operator text NOT NULL DEFAULT '',
  work_order text NOT NULL DEFAULT '',
  profile text NOT NULL DEFAULT '',
  profile_sha256 text NOT NULL DEFAULT '',
  db_role text NOT NULL DEFAULT session_user
);

CREATE OR REPLACE FUNCTION vorloader_runs_db_role() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  NEW.db_role := session_user;
  RETURN NEW;
END
$$;
DROP TRIGGER IF EXISTS vorloader_runs_db_role ON vorloader_runs;
CREATE TRIGGER vorloader_runs_db_role BEFORE INSERT OR UPDATE ON vorloader_runs
  FOR EACH ROW EXECUTE FUNCTION vorloader_runs_db_role();

CREATE INDEX IF NOT EXISTS vorloader_runs_time ON vorloader_runs (time);
CREATE INDEX IF NOT EXISTS vorloader_runs_device ON vorloader_runs (device_id);

GRANT INSERT, SELECT ON vorloader_runs TO vorloader_station;
