/*
  Fills GOODS with demo positions: the count comes from the session variable QDZ_GOODS.
  The rows are made inside the database, so a million of them take seconds, not a
  million round trips. Every value is derived from the row number, so the same count
  gives the same goods every time. Run by schema/create-db after SET NAMES UTF8.

  What the rows look like:
  - PART_ID continues after the highest code present (10001, 10002, ... in a new database);
  - NAME is substance, form with dosage and pack size, e.g. "Ибупрофен таблетки 200 мг №20";
    some names carry double quotes, which the price upload has to escape;
  - BARCODE is an EAN-13 with a valid check digit, NULL or empty for every tenth row;
  - SERIES is a manufacturer's batch number, NULL for some rows;
  - PRICE has two decimals, QUANTITY is mostly whole, sometimes with a half pack, sometimes 0.
*/
set term ^ ;

execute block
as
  declare variable goods_count integer;
  declare variable first_id integer;
  declare variable i integer = 0;
  declare variable h bigint;
  declare variable body bigint;
  declare variable rest bigint;
  declare variable k integer;
  declare variable check_sum integer;
  declare variable barcode varchar(20);
  declare variable series varchar(40);
  declare variable name varchar(255);
  declare variable producer varchar(120);
  declare variable price numeric(15,2);
  declare variable quantity numeric(15,3);
begin
  goods_count = cast(rdb$get_context('USER_SESSION', 'QDZ_GOODS') as integer);
  select coalesce(max(PART_ID), 10000) from GOODS into :first_id;

  while (i < goods_count) do
  begin
    i = i + 1;
    /* Knuth's multiplicative hash spreads consecutive row numbers over 32 bits; its
       slices pick the parts of a row independently of each other. */
    h = mod(i * 2654435761, 4294967296);

    name = decode(mod(h, 24),
      0, 'Парацетамол', 1, 'Ибупрофен', 2, 'Амоксициллин', 3, 'Аскорбиновая кислота',
      4, 'Нурофен', 5, 'Цитрамон П', 6, 'Но-шпа', 7, 'Лоратадин',
      8, 'Омепразол', 9, 'Мезим форте', 10, 'Валидол', 11, 'Корвалол',
      12, 'Азитромицин', 13, 'Аспирин кардио', 14, 'Пенталгин', 15, 'Арбидол',
      16, 'Эналаприл', 17, 'Бисопролол', 18, 'Метформин', 19, 'Аторвастатин',
      20, 'Бальзам "Звездочка"', 21, 'Крем "Бепантен"', 22, 'Глицин', 23, 'Активированный уголь')
      || ' ' ||
      decode(mod(h / 24, 8),
      0, 'таблетки 500 мг', 1, 'таблетки 200 мг', 2, 'капсулы 250 мг',
      3, 'таблетки покрытые пленочной оболочкой 10 мг', 4, 'раствор для инъекций 2 мл',
      5, 'сироп 100 мл', 6, 'мазь 30 г', 7, 'капли глазные 10 мл')
      || ' №' || (10 * (1 + mod(h / 192, 6)));

    /* 460 is the GS1 prefix of Russia; the check digit weighs the body's digits
       3, 1, 3, ... from the right. */
    if (mod(h / 7, 10) = 0) then
      barcode = iif(mod(h / 70, 2) = 0, null, '');
    else
    begin
      body = 460000000000 + mod(h * 7919 + i, 1000000000);
      rest = body;
      check_sum = 0;
      k = 0;
      while (k < 12) do
      begin
        check_sum = check_sum + mod(rest, 10) * iif(mod(k, 2) = 0, 3, 1);
        rest = rest / 10;
        k = k + 1;
      end
      barcode = body || mod(10 - mod(check_sum, 10), 10);
    end

    if (mod(h / 11, 12) = 0) then
      series = null;
    else
      series = decode(mod(h / 13, 4), 0, '', 1, 'А', 2, 'ЛП', 3, 'B')
               || lpad(mod(h / 17, 1000000), 6, '0');

    producer = decode(mod(h / 1000, 16),
      0, 'Фармстандарт-Лексредства ОАО', 1, 'Озон ООО', 2, 'Верофарм АО',
      3, 'Татхимфармпрепараты АО', 4, 'Отисифарм', 5, 'Валента Фарм',
      6, 'Тева', 7, 'KRKA', 8, 'Сандоз', 9, 'Гедеон Рихтер', 10, 'Bayer AG',
      11, 'Санофи', 12, 'Биннофарм', 13, 'Медисорб', 14, 'Обновление ПФК', 15, 'Эвалар');
    price = (100 + mod(h / 3, 249900)) * 0.01;
    quantity = mod(h / 19, 120) + iif(mod(h / 23, 8) = 0, 0.5, 0);

    insert into GOODS (PART_ID, BARCODE, NAME, PRODUCER, SERIES, PRICE, QUANTITY)
    values (:first_id + :i, :barcode, :name, :producer, :series, :price, :quantity);
  end
end^

set term ; ^

commit;
