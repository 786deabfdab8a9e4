-- The accounts of a centre's database server: one owner, who makes the tables, and one account
-- the stations work with, which may read and write the rows but create, alter or drop nothing,
-- and may only add to the operation log. Run by a superuser, in the centre's database:
--     psql -U postgres -d centre -f tools/pg/roles.sql
-- then give each account its password (\password movelkar_owner, \password movelkar_station)
-- and start the program once as movelkar_owner: it makes the tables, which the station account
-- may then use as granted below (the program itself keeps the log to reading and adding). Tables
-- made before this file was run get their grants when it is run again; that changes nothing else.
-- The tables live in the schema "public"; for another schema, replace public below.

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'movelkar_owner') THEN
        CREATE ROLE movelkar_owner LOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'movelkar_station') THEN
        CREATE ROLE movelkar_station LOGIN;
    END IF;
    -- The owner makes the tables and the trigram extension the searches use (a trusted one).
    EXECUTE format('GRANT CONNECT, CREATE ON DATABASE %I TO movelkar_owner', current_database());
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO movelkar_station', current_database());
    EXECUTE format('REVOKE CREATE, TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());
END
$$;

REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE, CREATE ON SCHEMA public TO movelkar_owner;
GRANT USAGE ON SCHEMA public TO movelkar_station;

-- Tables and numbering sequences the owner makes from now on.
ALTER DEFAULT PRIVILEGES FOR ROLE movelkar_owner IN SCHEMA public
    GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO movelkar_station;
ALTER DEFAULT PRIVILEGES FOR ROLE movelkar_owner IN SCHEMA public
    GRANT USAGE, SELECT, UPDATE ON SEQUENCES TO movelkar_station;

-- Tables already made.
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO movelkar_station;
GRANT USAGE, SELECT, UPDATE ON ALL SEQUENCES IN SCHEMA public TO movelkar_station;

-- The operation log is added to, never changed: a station may read it and write new rows only.
DO $$
BEGIN
    IF to_regclass('public.t_log') IS NOT NULL THEN
        REVOKE UPDATE, DELETE, TRUNCATE ON public.t_log FROM movelkar_station;
    END IF;
END
$$;
