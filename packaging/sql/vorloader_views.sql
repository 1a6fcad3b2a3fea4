-- Views of the record database for dashboard tools that read PostgreSQL directly. Run once,
-- as the table's owner, after vorloader_runs.sql (and after vorloader_runs_upgrade_site.sql on
-- a database made for an older loader); running it again replaces the views:
--
--   psql -d production -f vorloader_views.sql
--   psql -d production -c "GRANT SELECT ON vorloader_runs_timed, vorloader_yield_hourly,
--                          vorloader_failures_daily TO dashboard"
--
-- The meanings are those of `vorloader-cli report`: a run's outcome is programmed (code 0),
-- stopped (code -1, a stop request), refused (the loader chose not to program: codes 9, 10,
-- 15 and 17) or failed (every other code); a device is a distinct device_id, counted by the
-- outcome of its last run in the hour (runs of one second: the higher run_id last). Hours
-- and days are those of the session's TimeZone.

-- Every run, with its time as timestamptz and its outcome.
CREATE OR REPLACE VIEW vorloader_runs_timed AS
SELECT
  run_id,
  time::timestamptz AS run_at,
  station,
  port,
  device_id,
  rtrim(product) AS product,
  version_before,
  version_after,
  file,
  sha256,
  code,
  result,
  CASE
    WHEN code = -1 THEN 'stopped'
    WHEN code = 0 THEN 'programmed'
    WHEN code IN (9, 10, 15, 17) THEN 'refused'
    ELSE 'failed'
  END AS outcome,
  duration_ms,
  wait_ms,
  erase_began,
  workflow,
  loader,
  operator,
  work_order,
  profile,
  profile_sha256
FROM vorloader_runs;

-- Per hour and station: runs, runs without a device, devices by the outcome of their last
-- run in the hour, and the yield = programmed / (programmed + failed + stopped) in percent.
CREATE OR REPLACE VIEW vorloader_yield_hourly AS
WITH runs AS (
  SELECT date_trunc('hour', run_at) AS hour, station, count(*) AS runs,
         count(*) FILTER (WHERE device_id IS NULL) AS runs_without_device
  FROM vorloader_runs_timed
  GROUP BY 1, 2
), last_runs AS (
  SELECT DISTINCT ON (date_trunc('hour', run_at), station, device_id)
         date_trunc('hour', run_at) AS hour, station, device_id, outcome
  FROM vorloader_runs_timed
  WHERE device_id IS NOT NULL
  ORDER BY date_trunc('hour', run_at), station, device_id, run_at DESC, run_id DESC
), devices AS (
  SELECT hour, station, count(*) AS devices,
         count(*) FILTER (WHERE outcome = 'programmed') AS programmed,
         count(*) FILTER (WHERE outcome = 'failed') AS failed,
         count(*) FILTER (WHERE outcome = 'refused') AS refused,
         count(*) FILTER (WHERE outcome = 'stopped') AS stopped
  FROM last_runs
  GROUP BY 1, 2
)
SELECT r.hour, r.station, r.runs, r.runs_without_device,
       coalesce(d.devices, 0) AS devices, coalesce(d.programmed, 0) AS programmed,
       coalesce(d.failed, 0) AS failed, coalesce(d.refused, 0) AS refused,
       coalesce(d.stopped, 0) AS stopped,
       round(100.0 * d.programmed / nullif(d.programmed + d.failed + d.stopped, 0), 1) AS yield_percent
FROM runs r LEFT JOIN devices d USING (hour, station);

-- Per day: the failed runs by result.
CREATE OR REPLACE VIEW vorloader_failures_daily AS
SELECT date_trunc('day', run_at) AS day, code, result, count(*) AS runs
FROM vorloader_runs_timed
WHERE outcome = 'failed'
GROUP BY 1, 2, 3;
