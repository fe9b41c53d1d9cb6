-- The alarms that come to the engineer (kalvor-depot alarms). The service
-- looks at what the syncs brought, keeps every alarm here once, from the
-- moment it first saw it, and mails it; a mail that could not go out stays
-- here unsent and is tried again on the next pass. The lines page lists them.

DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'kalvor_alarms') THEN
    CREATE ROLE kalvor_alarms LOGIN;
  END IF;
END
$$;
-- It reads what the reader reads (the reader's policies name the reader's
-- group, of which it is a member) and writes nothing but its own table.
GRANT kalvor_reader TO kalvor_alarms;

CREATE TABLE alarms (
  id bigserial PRIMARY KEY,
  line text NOT NULL,
  -- The type and parameter the alarm is about; empty for a line's own
  -- alarm (not synced).
  bogie_type smallint,
  spring_type smallint,
  param smallint,
  -- 'rules' (Western Electric), 'cpk', 'rejected' or 'stale'.
  rule text NOT NULL CHECK (rule IN ('rules', 'cpk', 'rejected', 'stale')),
  -- The shift (its day) the alarm is about; for 'cpk' the month's first day;
  -- for 'stale' the last sync it counts from.
  shift date,
  since timestamptz,
  -- The cause in the engineer's words ("правила 2, 3 по свободной высоте").
  cause text NOT NULL,
  -- The page that shows it: its path and query on the depot page.
  chart text NOT NULL,
  raised_at timestamptz NOT NULL,
  mail_sent_at timestamptz,
  mail_attempts integer NOT NULL DEFAULT 0,
  mail_error text,
  -- Raised once: a second pass that sees the same finds it here.
  UNIQUE NULLS NOT DISTINCT (line, bogie_type, spring_type, param, rule, shift, since)
);
CREATE INDEX alarms_raised ON alarms (raised_at);
CREATE INDEX alarms_unsent ON alarms (id) WHERE mail_sent_at IS NULL;

GRANT SELECT ON alarms TO kalvor_reader;
GRANT SELECT, INSERT ON alarms TO kalvor_alarms;
GRANT UPDATE (mail_sent_at, mail_attempts, mail_error) ON alarms TO kalvor_alarms;
GRANT USAGE ON SEQUENCE alarms_id_seq TO kalvor_alarms;
