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
