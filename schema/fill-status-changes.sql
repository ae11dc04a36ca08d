/*
  Queues status changes of orders the way the pharmacy system does: rows of type
  SET_ORDER_STATUS with STATUS 0, endflag NULL and name=value lines (CR LF) in SENDDATA.
  The count comes from the session variable QDZ_STATUS_CHANGES. Run by schema/create-db.

  Four kinds take turns, for orders 700001, 700002, ...:
  - confirmed (status_id=2) with the confirmed positions and quantities, TAB-separated;
  - ready for pick-up (status_id=4) with the end of the reservation, three days ahead
    at 18:00, as a day number counted from 1899-12-30;
  - issued (status_id=5) with nothing else;
  - cancelled (status_id=3) with a reason.
*/
set term ^ ;

execute block
as
  declare variable change_count integer;
  declare variable i integer = 0;
  declare variable crlf char(2);
  declare variable tab char(1);
  declare variable kind integer;
  declare variable senddata varchar(1000);
begin
  change_count = cast(rdb$get_context('USER_SESSION', 'QDZ_STATUS_CHANGES') as integer);
  crlf = ascii_char(13) || ascii_char(10);
  tab = ascii_char(9);

  while (i < change_count) do
  begin
    i = i + 1;
    kind = mod(i - 1, 4);
    senddata = 'id=' || (700000 + i) || crlf
               || 'status_id=' || decode(kind, 0, 2, 1, 4, 2, 5, 3, 3) || crlf;
    if (kind = 0) then
      senddata = senddata || 'items=' || (10001 + mod(i * 7, 500)) || '=2' || tab
                 || (10001 + mod(i * 13, 500)) || '=1' || crlf;
    else if (kind = 1) then
      senddata = senddata || 'reservation_end_date='
                 || (datediff(day from date '1899-12-30' to current_date) + 3) || '.75' || crlf;
    else if (kind = 3) then
      senddata = senddata || 'cancel_reason=Клиент отказался от заказа' || crlf;

    insert into I_ORDER_TASKS (ID, TASK_TYPE, SENDDATA, STATUS, STARTDT)
    values (gen_id(gen_i_order_tasks_id, 1), 'SET_ORDER_STATUS', :senddata, 0, current_timestamp);
  end
end^

set term ; ^

commit;
