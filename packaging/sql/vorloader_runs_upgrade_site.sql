-- Upgrades a record database made for an older loader to the records that name the operator,
-- the work order and the station profile. Run once, as the table's owner, before stations
-- with the newer loader deliver; running it again changes nothing:
--
--   psql -d production -f vorloader_runs_upgrade_site.sql
--
-- Rows of older loaders get empty texts: they named no operator, order or profile.

ALTER TABLE vorloader_runs
  ADD COLUMN IF NOT EXISTS operator text NOT NULL DEFAULT '',
  ADD COLUMN IF NOT EXISTS work_order text NOT NULL DEFAULT '',
  ADD COLUMN IF NOT EXISTS profile text NOT NULL DEFAULT '',
  ADD COLUMN IF NOT EXISTS profile_sha256 text NOT NULL DEFAULT '';
