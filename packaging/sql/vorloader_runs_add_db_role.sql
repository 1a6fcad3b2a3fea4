-- Upgrades a vorloader_runs table made before it had db_role: the role that inserted each row,
-- filled by the database. Run once, as the table's owner (running it again changes nothing):
--
--   psql -d production -f vorloader_runs_add_db_role.sql
--
-- Rows stored before the upgrade cannot tell who inserted them: they get 'unknown'.

ALTER TABLE vorloader_runs ADD COLUMN IF NOT EXISTS db_role text NOT NULL DEFAULT 'unknown';
ALTER TABLE vorloader_runs ALTER COLUMN db_role SET DEFAULT session_user;

CREATE OR REPLACE FUNCTION vorloader_runs_db_role() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  NEW.db_role := session_user;
  RETURN NEW;
END
$$;
DROP TRIGGER IF EXISTS vorloader_runs_db_role ON vorloader_runs;
CREATE TRIGGER vorloader_runs_db_role BEFORE INSERT OR UPDATE ON vorloader_runs
  FOR EACH ROW EXECUTE FUNCTION vorloader_runs_db_role();
