-- The three interface tables as a SQL Server deployment of the interface
-- types them, with generated rows; loaded into database "sse" by
-- scripts/pgserver.sh. rec_num and cjbh int, codes, accounts, sides and
-- HHMMSS times char(n) (blank padded), quantities int, prices and amounts
-- numeric; qty and price of the order tables are char(8) text; names and
-- messages Chinese. The indexes are those the README lists for SQL Server.

-- SQL Server compares an int column with like by converting it to text.
create function sqlserver_int_like(integer, text) returns boolean
  language sql immutable strict as $$ select $1::text like $2 $$;
create operator ~~ (leftarg = integer, rightarg = text, function = sqlserver_int_like);

create table ashare_cjhb (
  gddm char(10), gdxm varchar(8), bcrq char(8), cjbh int, gsdm char(5),
  cjsl int, bcye int, zqdm char(6), sbsj char(6), cjsj char(6),
  cjjg numeric(9,3), cjje numeric(15,2), sqbh char(10), bs char(1), mjbh char(5));
create table ashare_ordwth (
  rec_num int not null, date char(8), time char(8), reff char(10), acc char(10), stock char(6),
  bs char(1), price char(8), qty char(8), status char(1), owflag char(3), ordrec char(8),
  firmid char(5), checkord char(32));
create table ashare_ordwth2 (
  rec_num int not null, date char(8), time char(8), reff char(10), acc char(10), stock char(6),
  bs char(1), price char(8), qty char(8), qty2 char(8), status char(1), remark varchar(40),
  status1 char(1), owflag char(3), ordrec char(8), teordernum char(8), firmid char(5),
  checkord char(32));
-- rec_num is the clustered primary key on SQL Server; here an index that
-- admits a repeated rec_num, which the gateway stand-in plants as a fault.
create index ashare_ordwth_rec_num on ashare_ordwth (rec_num);
create index ashare_ordwth_reff on ashare_ordwth (reff);
create index ashare_ordwth_ordrec on ashare_ordwth (ordrec);
create index ashare_ordwth2_rec_num on ashare_ordwth2 (rec_num);
create index ashare_ordwth2_reff on ashare_ordwth2 (reff);
create index ashare_ordwth2_ordrec on ashare_ordwth2 (ordrec);
create index ashare_cjhb_cjbh on ashare_cjhb (cjbh);
create index ashare_cjhb_sqbh on ashare_cjhb (sqbh);
alter table ashare_cjhb owner to qtrl;
alter table ashare_ordwth owner to qtrl;
alter table ashare_ordwth2 owner to qtrl;

-- A day of orders linked as the interface links them: 1000 rows of
-- ashare_ordwth with consecutive rec_num and unique reff; every 17th a
-- cancel ("WTH", ordrec = the rec_num of the order five rows before); the
-- newest four still "R", the three before them "P" with nothing back, the
-- rest "P" with one confirmation each (own rec_num sequence, same reff):
-- "O", or "F"/"E" with a return code, a rare "?"; a cancel "W" with qty2 the
-- quantity left unfilled. Accepted orders trade fully, partly or not at
-- all, in one to four fills whose sqbh is the order's reff.
create function hhmmss(t time) returns text language sql immutable as $$
  select (extract(hour from t)::int * 10000 + extract(minute from t)::int * 100
          + extract(second from t)::int)::text $$;

create temporary table day as
select r,
       time '09:15:00' + r * interval '7 seconds' as t,
       'J' || lpad(r::text, 9, '0') as reff,
       'A' || lpad((100000000 + r * 7919 % 50)::text, 9, '0') as account,
       (600000 + r * 13 % 40)::text as stock,
       case when r % 2 = 0 then 'B' else 'S' end as bs,
       200 + r * 61 % 8000 as cents,
       case when r % 17 = 0 and r > 17 then 'WTH'
            else (array['ORD','ORD','ORD','ORD','ORD','ORD','ORD','ORD','ORD','LPT','LPT','LPT','LPT',
                        'LPT','LPT','LPT','MPT','MPT','NPT','LRZ'])[r % 20 + 1] end as owflag,
       case when r % 17 = 0 and r > 17 then r - 5 end as target,
       case when r > 996 then 'R' when r > 993 then 'P'
            when r % 211 = 100 then '?' when r % 53 = 7 then 'E' when r % 29 = 3 then 'F'
            else 'O' end as outcome,
       1 + r * 37 % 50 as lots
from generate_series(1, 1000) as r;
-- A cancel names the account, security, side, price and quantity of its order.
update day c set account = o.account, stock = o.stock, bs = o.bs, cents = o.cents, lots = o.lots
from day o where o.r = c.target;

-- Lots traded: a cancelled order only partly (or not at all), market
-- orders in full, the others mostly in full.
alter table day add column traded int, add column fills int;
update day d set traded = case
    when d.outcome <> 'O' or d.owflag = 'WTH' then 0
    when exists (select 1 from day c where c.target = d.r) then (d.lots - 1) / 2
    when d.owflag = 'MPT' or d.r % 10 < 7 then d.lots
    when d.r % 10 < 9 then greatest(d.lots - 1 - d.r % 3, 0)
    else 0 end;
update day set fills = least(traded, 1 + r * 7 % 4);

insert into ashare_ordwth
select r, '20261208', to_char(t, 'HH24:MI:SS'), reff,
       case when r % 199 = 7 then null else account end,
       case when r % 199 = 47 then null else stock end,
       case when r % 199 = 137 then null else bs end,
       case when r % 199 = 77 then null else ((cents / 100.0)::numeric(9,2))::text end,
       (100 * lots)::text,
       case when outcome = 'R' then 'R' else 'P' end,
       owflag, coalesce(target, 0)::text,
       (30000 + r % 4)::text, upper(md5(r::text))
from day;

insert into ashare_ordwth2
select row_number() over (order by d.r), '20261208',
       to_char(d.t + (d.r % 3) * interval '1 second', 'HH24:MI:SS'), d.reff,
       o.acc, o.stock, o.bs, o.price, o.qty,
       case when d.owflag = 'WTH' and d.outcome = 'O' then (100 * (c.lots - c.traded))::text
            when d.owflag = 'MPT' and d.outcome = 'O' then (100 * (d.lots - d.traded))::text
            when d.r % 199 = 99 then null else '0' end,
       case when d.outcome <> 'O' then d.outcome
            when d.owflag <> 'WTH' then 'O'
            when c.outcome <> 'O' then 'E'
            when c.traded >= c.lots then 'F'
            else 'W' end,
       case d.outcome when 'F' then (array['231余额不足','218无效价格','215无效帐号','222价格超出范围','213证券被挂起'])[d.r % 5 + 1]
                      when 'E' then (array['1025','1026','1023'])[d.r % 3 + 1]
                      when '?' then '2000'
                      else case when d.owflag <> 'WTH' then '0' when c.outcome <> 'O' then '1034'
                                when c.traded >= c.lots then '411申报已成交' else '0' end end,
       'Y', d.owflag, o.ordrec,
       case when d.outcome = 'O' then lpad((10000000 + d.r)::text, 8, '0') end,
       o.firmid, o.checkord
from day d join ashare_ordwth o on o.rec_num = d.r left join day c on c.r = d.target
where d.outcome not in ('R', 'P');

-- Fill k of n gets the lots traded divided evenly, the first ones one more;
-- fill times five to eleven seconds apart, before any cancel of the order.
insert into ashare_cjhb
select case when f.i % 397 = 13 then null else d.account end,
       (array['王','李','张','刘','陈','杨','黄','赵'])[substr(d.account, 9)::int % 8 + 1]
         || (array['伟','芳','秀英','敏','静','建华','强','海燕'])[substr(d.account, 9)::int / 8 % 8 + 1],
       '20261208',
       100000 + f.i,
       (30000 + d.r % 4)::text,
       f.quantity,
       case when f.i % 397 = 113 then null else f.quantity + 100 * (d.r * 53 % 100) end,
       case when f.i % 397 = 213 then null else d.stock end,
       hhmmss(d.t),
       hhmmss(f.traded_at),
       d.cents / 100.0,
       d.cents * f.quantity / 100.0,
       d.reff,
       case when f.i % 397 = 313 then null else d.bs end,
       lpad((1 + d.r % 5)::text, 5, '0')
from (select r, k, quantity, traded_at,
             row_number() over (order by traded_at, r, k) as i
      from (select d.r, k,
                   100 * (d.traded / d.fills + case when k <= d.traded % d.fills then 1 else 0 end) as quantity,
                   d.t + k * (5 + d.r % 7) * interval '1 second' as traded_at
            from day d, generate_series(1, 4) as k
            where d.fills > 0 and k <= d.fills) as split) as f
join day d on d.r = f.r;

drop table day;
drop function hhmmss(time);
