/*
  The reference pharmacy database: the tables, generators and procedures that the
  exchange service works with, plus a small goods table and a sample price SQL over it.

  Run it with isql-fb on a freshly created dialect 3 database whose default character
  set is WIN1251, after SET NAMES UTF8, so that the Cyrillic texts below are stored as
  Windows-1251. schema/create-db does exactly that.
*/

/* The pharmacy's own date-time domain; the change mark in params is cast to it. */
create domain dm_datetime as timestamp;

/* Settings of the exchange, one row per key. Values are text blobs so that a price SQL
   of any length fits. */
create table params (
  param_id    varchar(60) not null,
  PARAM_VALUE blob sub_type text,
  constraint pk_params primary key (param_id)
);

/* The task journal. Row -1 is the exchange cycle's lock row: every column but ID
   has to accept NULL. */
create table I_ORDER_TASKS (
  ID        bigint not null,
  TASK_TYPE varchar(40),
  SENDDATA  blob sub_type text,
  STATUS    integer,
  STARTDT   dm_datetime,
  endflag   integer,
  endtext   blob sub_type text,
  ENDDT     dm_datetime,
  constraint pk_i_order_tasks primary key (ID)
);
/* "select first 1 ... order by id desc" walks this index from the newest row. */
create descending index i_order_tasks_id_desc on I_ORDER_TASKS (ID);
/* The status queue and the searches for the last price upload filter on these. */
create index i_order_tasks_type_status on I_ORDER_TASKS (TASK_TYPE, STATUS);

/* The exchange protocol: one row per HTTP exchange. TASK_ID 0 means "no task", so it
   carries no foreign key. */
create table ZV$PROT (
  ID       bigint not null,
  METHOD   varchar(10),
  CMD      varchar(1024),
  SENDDATA blob sub_type text,
  STATUS   integer,
  STARTDT  dm_datetime,
  task_id  bigint,
  endflag  integer,
  endtext  blob sub_type text,
  ENDDT    dm_datetime,
  constraint pk_zv$prot primary key (ID)
);
create index zv$prot_task_id on ZV$PROT (task_id);

create generator gen_i_order_tasks_id;
create generator gen_zv$prot_id;

/* Goods on sale. UPDATEDT says when a published column last changed; the price SQL
   sends what changed after the stored change mark. */
create table GOODS (
  PART_ID  integer not null,
  BARCODE  varchar(20),
  NAME     varchar(255) not null,
  PRODUCER varchar(120),
  SERIES   varchar(40),
  PRICE    numeric(15,2) default 0 not null,
  QUANTITY numeric(15,3) default 0 not null,
  UPDATEDT dm_datetime not null,
  constraint pk_goods primary key (PART_ID)
);
/* Serves both the range search of a partial upload and the search for the newest row,
   which an ascending index could only answer by sorting the whole table. */
create descending index goods_updatedt_desc on GOODS (UPDATEDT);

set term ^ ;

/* UPDATEDT moves when a published column changes. A statement that sets UPDATEDT
   itself keeps its value, so that an import or a test can date its rows. */
create trigger goods_updatedt for GOODS
active before insert or update position 0
as
begin
  if (inserting) then
  begin
    if (new.UPDATEDT is null) then
      new.UPDATEDT = current_timestamp;
  end
  else if (new.UPDATEDT is not distinct from old.UPDATEDT and (
           new.PART_ID is distinct from old.PART_ID or
           new.BARCODE is distinct from old.BARCODE or
           new.NAME is distinct from old.NAME or
           new.PRODUCER is distinct from old.PRODUCER or
           new.SERIES is distinct from old.SERIES or
           new.PRICE is distinct from old.PRICE or
           new.QUANTITY is distinct from old.QUANTITY)) then
    new.UPDATEDT = current_timestamp;
end^

set term ; ^

/* Orders taken over from the marketplace.
   STATUS: 0 being imported, 1 accepted, 3 cancelled by the customer, -3 the import
   failed (items refused or the commit failed; the service sets it).
   I_STATUS: the marketplace's status of the order when it was imported. */
create table i_orders (
  d$uuid       varchar(38) not null,
  VNUM         bigint not null,
  ORDER_DATE   dm_datetime,
  CLIENT_NAME  varchar(255),
  CLIENT_EMAIL varchar(255),
  CLIENT_PHONE varchar(100),
  CLIENT_UUID  varchar(38),
  I_STATUS     integer,
  STATUS       smallint default 0 not null,
  STATUS_INFO  varchar(1024),
  I_SOURCE     blob sub_type text,
  SUMMA        numeric(15,2),
  CREATEDT     dm_datetime default current_timestamp,
  COMMITDT     dm_datetime,
  constraint pk_i_orders primary key (d$uuid),
  constraint uq_i_orders_vnum unique (VNUM)
);

/* The lines of an order, keyed by the marketplace's line number within the order. */
create table I_ORDER_ITEMS (
  d$uuid  varchar(38) not null,
  I_ID    bigint not null,
  PART_ID integer not null,
  QUANT   numeric(15,3) not null,
  PRICE   numeric(15,2),
  constraint pk_i_order_items primary key (d$uuid, I_ID),
  constraint fk_i_order_items_order foreign key (d$uuid) references i_orders (d$uuid)
    on delete cascade
);

set term ^ ;

/* Starts an order and returns its uuid. The marketplace lists an order again when
   its acknowledgement was lost, so a number we already hold is not an error: that
   order keeps its uuid, takes the new header values, loses its lines (the lines
   that follow in the same import replace them) and goes back to STATUS 0 until it
   is committed again. */
create procedure ZV$PR_NEW_ORDER (
  vnum         bigint,
  ORDER_DATE   dm_datetime,
  CLIENT_NAME  varchar(255),
  CLIENT_EMAIL varchar(255),
  CLIENT_PHONE varchar(100),
  CLIENT_UUID  varchar(38),
  i_status     integer)
returns (
  ORDER_UUID varchar(38))
as
begin
  ORDER_UUID = null;
  select d$uuid from i_orders where VNUM = :vnum into :ORDER_UUID;
  if (ORDER_UUID is null) then
  begin
    ORDER_UUID = lower(uuid_to_char(gen_uuid()));
    insert into i_orders (d$uuid, VNUM, ORDER_DATE, CLIENT_NAME, CLIENT_EMAIL,
                          CLIENT_PHONE, CLIENT_UUID, I_STATUS, STATUS)
    values (:ORDER_UUID, :vnum, :ORDER_DATE, :CLIENT_NAME, :CLIENT_EMAIL,
            :CLIENT_PHONE, :CLIENT_UUID, :i_status, 0);
  end
  else
  begin
    delete from I_ORDER_ITEMS where d$uuid = :ORDER_UUID;
    update i_orders
       set ORDER_DATE = :ORDER_DATE, CLIENT_NAME = :CLIENT_NAME,
           CLIENT_EMAIL = :CLIENT_EMAIL, CLIENT_PHONE = :CLIENT_PHONE,
           CLIENT_UUID = :CLIENT_UUID, I_STATUS = :i_status, STATUS = 0,
           STATUS_INFO = null, SUMMA = null, COMMITDT = null
     where d$uuid = :ORDER_UUID;
  end
  suspend;
end^

/* Adds one line to an order. PART_ID arrives as text (the id the price list gave the
   marketplace), so anything that is not one of our codes is refused here with an
   error code rather than failing on a conversion. A line number that the order
   already holds is replaced. */
create procedure ZV$PR_ORDER_ADD (
  I_ID       bigint,
  ORDER_UUID varchar(38),
  PART_ID    varchar(255),
  QUANT      bigint,
  PRICE      double precision)
returns (
  ERROR_CODE integer,
  ERROR_TEXT varchar(512))
as
declare variable goods_id integer;
begin
  ERROR_CODE = 0;
  ERROR_TEXT = '';
  goods_id = null;
  if (trim(PART_ID) similar to '[0-9]{1,9}') then
    select PART_ID from GOODS where PART_ID = cast(trim(:PART_ID) as integer) into :goods_id;

  if (not exists (select 1 from i_orders where d$uuid = :ORDER_UUID)) then
  begin
    ERROR_CODE = -1;
    ERROR_TEXT = 'Заказ ' || coalesce(ORDER_UUID, '') || ' не найден';
  end
  else if (goods_id is null) then
  begin
    ERROR_CODE = -2;
    ERROR_TEXT = 'Товар с кодом "' || coalesce(PART_ID, '') || '" не найден';
  end
  else if (QUANT is null or QUANT <= 0) then
  begin
    ERROR_CODE = -3;
    ERROR_TEXT = 'Количество товара ' || goods_id || ' должно быть больше нуля (получено ' ||
                 coalesce(cast(QUANT as varchar(20)), 'NULL') || ')';
  end
  else
    update or insert into I_ORDER_ITEMS (d$uuid, I_ID, PART_ID, QUANT, PRICE)
    values (:ORDER_UUID, :I_ID, :goods_id, :QUANT, :PRICE)
    matching (d$uuid, I_ID);
  suspend;
end^

/* Finishes an order: it becomes STATUS (the service passes 1, accepted), or 3 when the
   customer cancelled it. An order needs at least one line, unless it is cancelled:
   a cancelled order arrives without its lines. */
create procedure ZV$PR_COMMIT_ORDER (
  ORDER_UUID  varchar(38),
  STATUS      smallint,
  STATUS_INFO varchar(1024),
  SUMMA       double precision)
returns (
  ERROR_CODE integer,
  ERROR_TEXT varchar(512))
as
declare variable order_found smallint;
declare variable cancelled smallint;
begin
  ERROR_CODE = 0;
  ERROR_TEXT = '';
  order_found = 0;
  cancelled = 0;
  select 1, iif(I_STATUS = 3 or :STATUS = 3, 1, 0) from i_orders where d$uuid = :ORDER_UUID
    into :order_found, :cancelled;

  if (order_found = 0) then
  begin
    ERROR_CODE = -1;
    ERROR_TEXT = 'Заказ ' || coalesce(ORDER_UUID, '') || ' не найден';
  end
  else if (cancelled = 0 and not exists (select 1 from I_ORDER_ITEMS where d$uuid = :ORDER_UUID)) then
  begin
    ERROR_CODE = -2;
    ERROR_TEXT = 'Заказ не содержит ни одной позиции';
  end
  else
    update i_orders
       set STATUS = iif(:cancelled = 1, 3, :STATUS), STATUS_INFO = :STATUS_INFO,
           SUMMA = :SUMMA, COMMITDT = current_timestamp
     where d$uuid = :ORDER_UUID;
  suspend;
end^

set term ; ^

/* Any user the service is configured with may work with these objects: in the
   embedded engine every user name is accepted, but SQL privileges still apply. */
grant all on params to public;
grant all on I_ORDER_TASKS to public;
grant all on ZV$PROT to public;
grant all on GOODS to public;
grant all on i_orders to public;
grant all on I_ORDER_ITEMS to public;
grant usage on generator gen_i_order_tasks_id to public;
grant usage on generator gen_zv$prot_id to public;
grant execute on procedure ZV$PR_NEW_ORDER to public;
grant execute on procedure ZV$PR_ORDER_ADD to public;
grant execute on procedure ZV$PR_COMMIT_ORDER to public;

/* Exchange settings with demo values: a marketplace simulator on this machine. */
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_URL', 'http://127.0.0.1:8080');
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_MC', 'demo-pharmacy');
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_AUTH_TOKEN', 'demo-token');
insert into params (param_id, PARAM_VALUE) values ('ZV_PARTPRICES_INTERVAL', '15');
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_STORE_UUID', '7c9e6679-7425-40de-944b-e07fc1f90ae7');
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_PARTCOUNT', '500');

/* The change mark. The price upload only ever updates this row, so it has to exist;
   NULL means "nothing uploaded yet" and makes the first cycle upload the whole list. */
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_WB_UPDATEDT', null);

/* The price SQL. A full upload passes the zero date 1899-12-30 as :updatedt, which
   every dated row is later than. A partial upload passes the change mark, and the
   upload stores the newest UPDATEDT it read as the next mark, or the zero date when
   it read no row at all, which would make the next partial upload send the whole
   list again. So the SQL also returns the newest row, one item that repeats itself,
   to keep the mark where it is while nothing changes. (No tie-breaker in its order:
   that would make the engine sort the table instead of reading one index entry.) */
insert into params (param_id, PARAM_VALUE) values ('ZELVORANT_PRICESSQL',
'select g.UPDATEDT as updatedt, g.PART_ID as part_id, g.BARCODE as bcode_izg,
       g.NAME as sname, g.PRICE as price, g.QUANTITY as realquant,
       g.SERIES as seria, g.PRODUCER as sizg
  from GOODS g
 where g.UPDATEDT > :updatedt
    or g.PART_ID = (select first 1 n.PART_ID from GOODS n order by n.UPDATEDT desc)');

commit;
