// Fetches an address; the answer is logged when it arrives.
var fetched = false;

function startFetch(address) {
    var request = new XMLHttpRequest();
    debugOut("xhr-before", request.readyState, request.status);
    request.onreadystatechange = function () {
        debugOut("xhr-state", this.readyState);
        if (this.readyState == 4) {
            debugOut("xhr-answer", this.responseText);
            fetched = true;
        }
    };
    request.open("GET", address);
    request.send(null);
}

// The same fetch made synchronously: send answers once the body is in, and the changes still
// reach the handler through the queue.
function fetchNow(address) {
    var request = new XMLHttpRequest();
    request.onreadystatechange = function () {
        debugOut("sync-state", this.readyState);
    };
    request.open("GET", address, false);
    request.send(null);
    return request;
}
