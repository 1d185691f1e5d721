-- The three interface tables as a SQL Server deployment of the interface
-- types them, with generated rows; loaded into database "sse" by
-- scripts/pgserver.sh. Codes, accounts, sides and HHMMSS times are char(n)
-- (blank padded), quantities int, prices and amounts numeric; qty and
-- price of the order tables are char(8) text; names and messages Chinese.

-- SQL Server compares an int column with like by converting it to text.
create function sqlserver_int_like(integer, text) returns boolean
  language sql immutable strict as $$ select $1::text like $2 $$;
create operator ~~ (leftarg = integer, rightarg = text, function = sqlserver_int_like);

create table ashare_cjhb (
  gddm char(10), gdxm varchar(8), bcrq char(8), cjbh char(10), gsdm char(5),
  cjsl int, bcye int, zqdm char(6), sbsj char(6), cjsj char(6),
  cjjg numeric(9,3), cjje numeric(15,2), sqbh char(10), bs char(1), mjbh char(5));
create table ashare_ordwth (
  rec_num int, date char(8), time char(8), reff char(10), acc char(10), stock char(6),
  bs char(1), price char(8), qty char(8), status char(1), owflag char(3), ordrec char(8),
  firmid char(5), checkord char(32));
create table ashare_ordwth2 (
  rec_num int, date char(8), time char(8), reff char(10), acc char(10), stock char(6),
  bs char(1), price char(8), qty char(8), qty2 char(8), status char(1), remark varchar(40),
  status1 char(1), owflag char(3), ordrec char(8), teordernum char(8), firmid char(5),
  checkord char(32));
alter table ashare_cjhb owner to qtrl;
alter table ashare_ordwth owner to qtrl;
alter table ashare_ordwth2 owner to qtrl;

-- A second of the trading day (9:15-11:30, 13:00-15:00) as HHMMSS without
-- a leading zero.
create function trading_second(n integer) returns integer language sql immutable as $$
  select case when n % 13500 < 8100 then 33300 + n % 13500 else 46800 + n % 13500 - 8100 end $$;
create function hhmmss(s integer) returns text language sql immutable as $$
  select (s / 3600 * 10000 + s / 60 % 60 * 100 + s % 60)::text $$;

-- Two rows per trade number; each row declared up to ten minutes before the
-- trade, so that some trades have one row from before 10:00:00 and one after.
insert into ashare_cjhb
select case when i % 10 = 0 then 'B' else 'A' end || lpad((100000000 + i * 7919 % 50)::text, 9, '0'),
       (array['王','李','张','刘','陈','杨','黄','赵'])[i % 8 + 1]
         || (array['伟','芳','秀英','敏','静','建华','强','海燕'])[i / 8 % 8 + 1],
       '20261208',
       (100000 + (i + 1) / 2)::text,
       (30000 + i % 4)::text,
       case when i % 397 = 13 then null else 100 * (1 + i * 37 % 50) end,
       case when i % 397 = 113 then null else 100 * (i * 53 % 100) end,
       case when i % 397 = 213 then null else (600000 + i * 13 % 40)::text end,
       hhmmss(greatest(33300, trading_second((i + 1) / 2 * 211) - i * 31 % 600)),
       hhmmss(trading_second((i + 1) / 2 * 211)),
       (200 + i * 61 % 8000) / 100.0,
       round((200 + i * 61 % 8000) / 100.0 * 100 * (1 + i * 37 % 50) + i % 4 * 0.25, 2),
       lpad(i::text, 10, '0'),
       case when i % 397 = 313 then null when i % 2 = 0 then 'B' else 'S' end,
       lpad((1 + i % 5)::text, 5, '0')
from generate_series(1, 2000) as i;

insert into ashare_ordwth
select r, '20261208', to_char(time '09:15:00' + r * interval '7 seconds', 'HH24:MI:SS'),
       'J' || lpad(r::text, 9, '0'),
       case when r % 199 = 7 then null else 'A' || lpad((100000000 + r * 7919 % 50)::text, 9, '0') end,
       (600000 + r * 13 % 40)::text,
       case when r % 2 = 0 then 'B' else 'S' end,
       ((200 + r * 61 % 8000) / 100.0)::numeric(9,2)::text,
       case when r % 199 = 77 then null else (100 * (1 + r * 37 % 50))::text end,
       'R', case when r % 17 = 0 then 'WTH' else 'ORD' end,
       case when r % 17 = 0 then (r - 5)::text end,
       (30000 + r % 4)::text, upper(md5(r::text))
from generate_series(1, 1000) as r;

insert into ashare_ordwth2
select rec_num, date, to_char(time::time + interval '1 second', 'HH24:MI:SS'), reff, acc, stock, bs,
       price, qty, case when owflag = 'WTH' then qty when rec_num % 199 = 99 then null else '0' end,
       case when rec_num % 5 = 0 then 'F' else 'O' end,
       case when rec_num % 5 = 0 then '231余额不足' else '成功' end,
       case when rec_num % 5 = 0 then 'N' else 'Y' end,
       owflag, ordrec, 'H' || lpad(rec_num::text, 7, '0'), firmid, checkord
from ashare_ordwth;

drop function hhmmss(integer);
drop function trading_second(integer);
